#pragma once

namespace appkit {

// What a modal run answers: 1000 plus the pressed button's position in the order of adding,
// or the abort code when no dialog could be shown or no button was pressed. The abort code is
// negative, so that no caller mistakes it for a confirmation.
using ModalResponse = long;
inline constexpr ModalResponse kAlertFirstButtonReturn = 1000;
inline constexpr ModalResponse kAlertSecondButtonReturn = 1001;
inline constexpr ModalResponse kAlertThirdButtonReturn = 1002;
inline constexpr ModalResponse kModalResponseAbort = -1000;

}  // namespace appkit
