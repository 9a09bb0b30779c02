#include "widgets/modButton.h"

#include "core/Program.h"
#include "skin/modForm.h"

namespace qv {

namespace {

bool Matches(const ButtonElement& b, const std::string& group, const std::string& name) {
  return !b.Commands.empty() && b.Commands[0].Group == group &&
         (name == "*" || b.Commands[0].Name == name);
}

void SetEnabled(Program& p, const std::string& group, const std::string& name, bool noRedraw,
                bool enabled) {
  for (size_t i = 0; i < p.tables.Buttons.size(); ++i) {
    ButtonElement& b = p.tables.Buttons[i];
    if (!Matches(b, group, name)) continue;
    if (!noRedraw)
      DrawElementRect(p, b.Top, b.Left, b.Height, b.Width, enabled ? kDrawEnabled : kDrawDisabled);
    p.tables.Buttons[i].Enabled = enabled;
  }
}

void Redraw(Program& p, int index, int state) {
  const ButtonElement& b = p.tables.Buttons[index];
  DrawElementRect(p, b.Top, b.Left, b.Height, b.Width, state);
}

}  // namespace

void EnableButtons(Program& p, const std::string& group, const std::string& name, bool noRedraw) {
  SetEnabled(p, group, name, noRedraw, true);
}

void DisableButtons(Program& p, const std::string& group, const std::string& name, bool noRedraw) {
  SetEnabled(p, group, name, noRedraw, false);
}

void FindButtons(Program& p, const std::string& group, const std::string& name,
                 std::vector<int16_t>& indices) {
  std::vector<int16_t> hits;
  for (size_t i = 0; i < p.tables.Buttons.size(); ++i)
    if (p.tables.Buttons[i].HasKey(group, name)) hits.push_back(static_cast<int16_t>(i));
  if (!hits.empty()) indices = hits;
}

bool StartsDisabled(const CommandPair& key) {
  static const CommandPair kKeys[] = {{"checkhdd", "cancel"},
                                      {"cleanhdd", "cancel"},
                                      {"copy", "cancel"},
                                      {"defrag", "cancel"},
                                      {"defrag", "start"}};
  for (const CommandPair& k : kKeys)
    if (k.Group == key.Group && k.Name == key.Name) return true;
  return false;
}

int HitButton(const Program& p, double x, double y) {
  return FirstContaining(p.tables.Buttons, x, y);
}

void ButtonPointerDown(Program& p, double x, double y) {
  p.shell.PressedButton = -1;
  const int hit = HitButton(p, x, y);
  if (hit < 0 || !p.tables.Buttons[hit].Enabled) return;
  Redraw(p, hit, kDrawActive);
  p.shell.PressedButton = static_cast<int16_t>(hit);
}

int ButtonPointerUp(Program& p, double x, double y) {
  const int pressed = p.shell.PressedButton;
  // The table may have been rebuilt by a screen change since the press.
  if (pressed >= 0 && pressed < static_cast<int>(p.tables.Buttons.size()))
    Redraw(p, pressed, kDrawEnabled);
  const int hit = HitButton(p, x, y);
  if (hit < 0 || !p.tables.Buttons[hit].Enabled || hit != pressed) return -1;
  Redraw(p, hit, kDrawEnabled);
  return hit;
}

}  // namespace qv
