#pragma once
// What the export's actions show and ask. The main window implements it with its controls and
// message boxes; the batch front end and the tests implement it without a display. The actions
// hand over their texts exactly as the user is to see them.
#include <string>

namespace tarnwick {

class IExportView {
 public:
  virtual ~IExportView() = default;

  // The report and log (Memo1).
  virtual void ClearMemo() = 0;
  virtual void AddMemoLine(const std::string& line) = 0;

  // The status bar's one panel.
  virtual void SetStatusText(const std::string& text) = 0;

  // The table box (ComboBox1): its list of names and the name typed or chosen in it.
  virtual void ClearTableList() = 0;  // the names only; the text stays
  virtual void ClearTableText() = 0;
  virtual void AddTable(const std::string& name) = 0;

  // The import button (Button4).
  virtual void SetImportEnabled(bool enabled) = 0;

  // The progress gauge (CGauge1), 0..100.
  virtual void SetGauge(int position) = 0;

  // The application's message box: one OK button, captioned with the application title.
  virtual void ShowMessage(const std::string& text) = 0;

  // A question with Yes and No buttons; true for Yes.
  virtual bool AskYesNo(const std::string& caption, const std::string& text) = 0;
};

}  // namespace tarnwick
