#include "plugin/ActionWindows.h"

TActionWindows& ActionWindows() {
  static TActionWindows windows;
  return windows;
}
