#include "widgets/modStatusbar.h"

#include "core/Convert.h"
#include "core/Program.h"
#include "skin/modForm.h"
#include "widgets/modTextBox.h"

namespace qv {

int16_t FilledWidth(int16_t width, int32_t percent) {
  const int32_t clamped = percent < 0 ? 0 : (percent > 100 ? 100 : percent);
  return static_cast<int16_t>(RoundHalfEven(static_cast<double>(width * clamped) * 0.01));
}

void SetProgress(Program& p, const std::string& group, const std::string& name, int32_t percent) {
  for (size_t i = 0; i < p.tables.StatusBars.size(); ++i) {
    StatusBarElement& bar = p.tables.StatusBars[i];
    if (!bar.HasKey(group, name) || percent == static_cast<int32_t>(bar.Percent)) continue;
    const int16_t f = FilledWidth(bar.Width, percent);
    DrawElementRect(p, bar.Top, static_cast<int16_t>(bar.Left + f), bar.Height,
                    static_cast<int16_t>(bar.Width - f), kDrawEnabled);
    DrawElementRect(p, bar.Top, bar.Left, bar.Height, f, kDrawActive);
    DrawStatusText(p, bar, std::to_string(percent) + "%");
    bar.Percent = static_cast<int16_t>(percent);
  }
}

void DrawStatusText(Program& p, const StatusBarElement& bar, const std::string& text) {
  SelectElementFont(p, bar, bar.FontColor);
  const TextSize size = MeasureText(p, text);
  double x = bar.Left;
  double y = bar.Top;
  if (bar.Alignment >= 1 && bar.Alignment <= 3) y = bar.Top + (bar.Height - size.h) / 2.0;
  if (bar.Alignment == 2) x = bar.Left + (bar.Width - size.w) / 2.0;
  if (bar.Alignment == 3) x = bar.Left + bar.Width - size.w;
  DrawTextAt(p, x, y, text);
}

}  // namespace qv
