#include "dataset/FormatSettings.h"

namespace tarnwick {

TFormatSettings& FormatSettings() {
  static TFormatSettings settings;
  return settings;
}

}  // namespace tarnwick
