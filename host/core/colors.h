// The host's palette: FAR's classic blue panels, cyan menus and dialogs, red warnings.
#pragma once

#include "host/screen.h"

namespace qb::host::colors {

struct Pair {
  uint8_t fg, bg;
};

inline constexpr Pair kPanelFrame{kLightCyan, kBlue};
inline constexpr Pair kPanelText{kLightCyan, kBlue};
inline constexpr Pair kPanelFolder{kWhite, kBlue};
inline constexpr Pair kPanelCursor{kBlack, kCyan};
inline constexpr Pair kPanelSelected{kYellow, kBlue};
inline constexpr Pair kPanelSelectedCursor{kYellow, kCyan};
inline constexpr Pair kPanelColumnTitle{kYellow, kBlue};
inline constexpr Pair kPanelTitleActive{kBlack, kCyan};
inline constexpr Pair kPanelTitle{kLightCyan, kBlue};
inline constexpr Pair kCommandLine{kLightGray, kBlack};
inline constexpr Pair kKeyBarDigit{kWhite, kBlack};
inline constexpr Pair kKeyBarLabel{kBlack, kCyan};

inline constexpr Pair kMenu{kBlack, kCyan};
inline constexpr Pair kMenuCurrent{kWhite, kBlack};
inline constexpr Pair kMenuHotKey{kYellow, kCyan};
inline constexpr Pair kMenuHotKeyCurrent{kYellow, kBlack};

inline constexpr Pair kDialog{kBlack, kCyan};
inline constexpr Pair kDialogHotKey{kYellow, kCyan};
inline constexpr Pair kDialogEdit{kBlack, kLightGray};
inline constexpr Pair kDialogFocus{kWhite, kBlack};

inline constexpr Pair kWarning{kWhite, kRed};
inline constexpr Pair kWarningHotKey{kYellow, kRed};
inline constexpr Pair kWarningFocus{kBlack, kLightGray};

}  // namespace qb::host::colors
