#include "widgets/modTextBox.h"

#include "core/ProfileString.h"
#include "core/Program.h"
#include "skin/modForm.h"

namespace qv {

void SelectElementFont(Program& p, const ElementFont& font, Color color) {
  SetTextFont(p, font.Font());
  SetTextColor(p, color);
}

std::string ShortenText(Program& p, const std::string& text, int alignment, int room, int limit) {
  if (alignment < 1 || alignment > 3) return text;
  if (room >= MeasureText(p, text).w) return text;
  const std::string suffix = alignment == 2 ? "......" : "...";
  std::string t = text;
  // Each pass cuts more than the one before; the loop ends at the latest with no character.
  for (size_t k = 0;; ++k) {
    if (MeasureText(p, t + suffix).w <= limit) break;
    if (t.empty()) return std::string();
    const size_t len = Utf8Length(t);
    if (alignment == 1) {
      t = Utf8Left(t, k + 1 >= len ? 0 : len - (k + 1));
    } else {
      // Keep t from its (k+1)-th character (1-based): the first pass removes nothing.
      t = Utf8From(t, k);
    }
  }
  switch (alignment) {
    case 1:
      return t + "...";
    case 2:
      return "..." + t + "...";
    default:
      return "..." + t;
  }
}

void DrawBoxText(Program& p, const TextBoxElement& box, const std::string& text) {
  SelectElementFont(p, box, box.FontColor);
  double x = box.Left;
  double y = box.Top;
  std::string t = text;
  if (box.Alignment >= 1 && box.Alignment <= 3) {
    t = ShortenText(p, text, box.Alignment, box.Width, box.Width);
    const TextSize size = MeasureText(p, t.empty() ? std::string(" ") : t);
    y = box.Top + (box.Height - size.h) / 2.0;
    if (box.Alignment == 2) x = box.Left + (box.Width - MeasureText(p, t).w) / 2.0;
    if (box.Alignment == 3) x = box.Left + box.Width - MeasureText(p, t).w;
  }
  DrawTextAt(p, x, y, t);
}

void SetText(Program& p, const std::string& group, const std::string& name,
             const std::string& text) {
  for (size_t i = 0; i < p.tables.TextBoxes.size(); ++i) {
    TextBoxElement& box = p.tables.TextBoxes[i];
    if (!box.HasKey(group, name) || box.Text == text) continue;
    DrawElementRect(p, box.Top, box.Left, box.Height, box.Width, kDrawEnabled);
    DrawBoxText(p, box, text);
    box.Text = text;
  }
}

void AppendText(Program& p, const std::string& group, const std::string& name,
                const std::string& text) {
  for (size_t i = 0; i < p.tables.TextBoxes.size(); ++i) {
    TextBoxElement& box = p.tables.TextBoxes[i];
    if (!box.HasKey(group, name)) continue;
    DrawElementRect(p, box.Top, box.Left, box.Height, box.Width, kDrawEnabled);
    const std::string joined = box.Text + text;
    DrawBoxText(p, box, joined);
    box.Text = joined;
  }
}

}  // namespace qv
