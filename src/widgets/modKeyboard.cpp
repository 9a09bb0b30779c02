#include "widgets/modKeyboard.h"

#include <vector>

#include "core/ProfileString.h"
#include "core/Program.h"
#include "skin/modForm.h"
#include "widgets/modButton.h"
#include "widgets/modTextBox.h"

namespace qv {

namespace {

void ShowKeyLook(Program& p, const std::string& key, bool on) {
  std::vector<int16_t> found;
  FindButtons(p, "keyboard", key, found);
  for (int16_t i : found) {
    const ButtonElement& b = p.tables.Buttons[i];
    DrawElementRect(p, b.Top, b.Left, b.Height, b.Width, on ? kDrawActive : kDrawEnabled);
  }
}

void ShowText(Program& p) {
  SetText(p, "keyboard", "maintextbox", p.keyboard.KeyboardText);
}

}  // namespace

void TypeKey(Program& p, const std::string& character) {
  if (p.keyboard.ShiftOn) {
    std::string upper = character;
    for (char& c : upper)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    p.keyboard.KeyboardText += upper;
    ToggleShift(p);
  } else {
    p.keyboard.KeyboardText += character;
  }
  ShowText(p);
}

void DeleteLastChar(Program& p) {
  std::string& t = p.keyboard.KeyboardText;
  if (!t.empty()) t = Utf8Left(t, Utf8Length(t) - 1);
  ShowText(p);
}

void ToggleShift(Program& p) {
  if (p.keyboard.CapsLockOn) return;
  p.keyboard.ShiftOn = !p.keyboard.ShiftOn;
  ShowKeyLook(p, "shift", p.keyboard.ShiftOn);
}

void ToggleCaps(Program& p) {
  p.keyboard.CapsLockOn = !p.keyboard.CapsLockOn;
  p.keyboard.ShiftOn = p.keyboard.CapsLockOn;
  ShowKeyLook(p, "caps", p.keyboard.CapsLockOn);
}

void DiscardText(Program& p) {
  p.keyboard.KeyboardText.clear();
}

void ConfirmText(Program& p) {
  p.keyboard.KeyboardConfirmed = true;
}

}  // namespace qv
