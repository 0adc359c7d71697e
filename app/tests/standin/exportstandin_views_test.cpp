// A view named in the table box is analysed and exported like a table, over the stand-in.
#include <algorithm>

#include "app/tests/standin/StandinExportFixture.h"

namespace tarnwick::export_test {
namespace {

TEST_F(StandinExportTest, AViewIsAnalysedAndExportedLikeATable) {
  ASSERT_TRUE(PythonDbfAvailable());
  // The clerks of EMP, their department's name joined in, the salary cast to whole numbers and
  // the hire date truncated; DNAME is 30 characters of a 120-byte column in AL32UTF8.
  Admin("sql " + Server() +
        " demo 'CREATE VIEW CLERKS AS SELECT E.EMPNO, E.ENAME, "
        "CAST(D.DNAME AS VARCHAR2(30 CHAR)) AS DNAME, CAST(E.SAL AS NUMBER(6)) AS SAL, "
        "TRUNC(E.HIREDATE) AS HIRED FROM EMP E, DEPT D WHERE E.DEPTNO = D.DEPTNO AND "
        "E.JOB = '\\''Клерк'\\'''");
  Connect();
  session_->Analyse(view_, "CLERKS");
  ASSERT_TRUE(session_->Analysed()) << (view_.messages.empty() ? "" : view_.messages[0]);
  EXPECT_EQ(
      view_.memo,
      WithHead({
          "1     EMPNO                           EMPNO       NUMBER           N         4      0 ",
          "2     ENAME                           ENAME       VARCHAR2         C         30       ",
          "3     DNAME                           DNAME       VARCHAR2         C         30       ",
          "4     SAL                             SAL         NUMBER           N         6      0 ",
          "5     HIRED                           HIRED       DATE             D         7        ",
          std::string(88, '-'),
          "В таблице  4  записей!",
          "Предполагаемое время выгрузки 0 секунд",
      }));
  // The table list names tables only; the box keeps the view's name.
  EXPECT_EQ(std::count(view_.tables.begin(), view_.tables.end(), "CLERKS"), 0);
  view_ = TRecordingView();

  ASSERT_EQ(session_->Import(view_, Path("CLERKS"), "CLERKS"), TImportResult::Done);
  EXPECT_EQ(session_->RecordsWritten, 4);
  EXPECT_EQ(ReadWithPython(Path("CLERKS")), (std::vector<std::string>{
                                                "COUNT 4",
                                                "CODEPAGE cp866",
                                                "FIELD EMPNO N 5 0",
                                                "FIELD ENAME C 30 0",
                                                "FIELD DNAME C 30 0",
                                                "FIELD SAL N 7 0",
                                                "FIELD HIRED D 8 0",
                                                "REC",
                                                "V 7369",
                                                "V [" + PadRight("Смирнов Иван", 30) + "]",
                                                "V [" + PadRight("Исследования", 30) + "]",
                                                "V 800",
                                                "V 19801217",
                                                "REC",
                                                "V 7876",
                                                "V [" + PadRight("Адамс", 30) + "]",
                                                "V [" + PadRight("Исследования", 30) + "]",
                                                "V 1100",
                                                "V 19870523",
                                                "REC",
                                                "V 7900",
                                                "V [" + PadRight("Джеймс", 30) + "]",
                                                "V [" + PadRight("Продажи", 30) + "]",
                                                "V 950",
                                                "V None",
                                                "REC",
                                                "V 7934",
                                                "V [" + std::string(30, ' ') + "]",
                                                "V [" + PadRight("Бухгалтерия", 30) + "]",
                                                "V 1300",
                                                "V 20071231",
                                            }));
}

}  // namespace
}  // namespace tarnwick::export_test
