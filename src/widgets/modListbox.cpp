#include "widgets/modListbox.h"

#include <algorithm>
#include <cmath>

#include "core/Convert.h"
#include "core/Program.h"
#include "skin/modForm.h"
#include "widgets/modTextBox.h"

namespace qv {

namespace {

bool Valid(const ListElement& list, int32_t index) {
  return index >= 0 && index < list.ListCount;
}

bool Visible(const ListElement& list, int32_t index) {
  return list.TopIndex <= index && index <= list.BottomIndex;
}

template <typename F>
void ForEachListBox(Program& p, const std::string& group, const std::string& name, F&& f) {
  for (size_t i = 0; i < p.tables.ListBoxes.size(); ++i)
    if (p.tables.ListBoxes[i].HasKey(group, name)) f(p.tables.ListBoxes[i]);
}

// The view that shows the first page.
void ViewFirstPage(ListElement& list) {
  list.TopIndex = 0;
  list.BottomIndex = list.ListCount < list.PageSize ? list.ListCount - 1 : list.PageSize - 1;
}

void ViewLastPage(ListElement& list) {
  list.BottomIndex = list.ListCount - 1;
  list.TopIndex = list.ListCount < list.PageSize ? 0 : list.ListCount - list.PageSize;
}

}  // namespace

void InitList(Program& p, ListElement& list) {
  list.Items.clear();
  list.Selected.clear();
  list.ItemIcons.clear();
  list.ListCount = 0;
  list.CaretIndex = -1;
  list.ListIndex = -1;
  list.FocusIndex = 0;
  list.TopIndex = -1;
  list.BottomIndex = -1;
  SelectElementFont(p, list, list.FontColor);
  list.RowHeight = static_cast<int32_t>(RoundHalfEven(MeasureText(p, "^j").h));
  if (list.Redraw) RedrawList(p, list);
}

void ClearList(Program& p, ListElement& list) {
  list.Items.clear();
  list.Selected.clear();
  list.ItemIcons.clear();
  list.SelCount = 0;
  list.ListCount = 0;
  list.CaretIndex = -1;
  list.FocusIndex = 0;
  list.TopIndex = -1;
  list.BottomIndex = -1;
  list.ListIndex = list.MultiSelect != 0 ? 0 : -1;
  // Two rows of pixels below the rectangle, where the last row's bottom line can reach.
  CopyElementRect(p, list.Top, list.Left, static_cast<int16_t>(list.Height + 2), list.Width,
                  kDrawEnabled);
  PresentBackBuffer(p);
}

void AppendItem(Program& p, ListElement& list, const std::string& text) {
  list.Items.push_back(text);
  list.ItemIcons.push_back(-1);
  list.Selected.push_back(false);
  ++list.ListCount;
  if (list.ListIndex > 0 || list.SelCount != 0) {
    for (int32_t* v : {&list.ListIndex, &list.FocusIndex, &list.CaretIndex})
      if (*v >= -1) ++*v;
  }
  if (list.TopIndex == -1) list.TopIndex = 0;
  if (list.Redraw) RedrawList(p, list);
}

void SetItemIcon(ListElement& list, int32_t icon) {
  if (list.ListCount > 0) list.ItemIcons[list.ListCount - 1] = icon;
}

void AddIcon(Program& p, ListElement& list, const std::string& path) {
  list.Icons.push_back(LoadSkinImage(p, path));
  ++list.IconCount;
}

void ComputeRows(ListElement& list) {
  const int32_t row = std::max<int32_t>(list.RowHeight, 1);
  list.PageSize = std::max<int32_t>(list.Height / row, 1);
  list.RowOffsets.assign(list.PageSize, 0);
  for (int32_t k = 1; k < list.PageSize; ++k) list.RowOffsets[k] = list.RowOffsets[k - 1] + row;
}

void RedrawList(Program& p, ListElement& list) {
  if (!list.Redraw) return;
  ComputeRows(list);
  if (list.TopIndex == -1) return;
  if (list.ListCount <= list.PageSize) {
    list.TopIndex = 0;
    list.BottomIndex = list.ListCount - 1;
  } else if (Visible(list, list.ListCount - 1)) {
    list.BottomIndex = list.ListCount - 1;
    list.TopIndex = list.ListCount - list.PageSize;
  } else {
    list.BottomIndex = list.TopIndex + list.PageSize - 1;
  }
  for (int32_t i = list.TopIndex; i <= list.BottomIndex; ++i)
    if (Valid(list, i)) DrawItem(p, list, i, list.Selected[i], false);
  if (Valid(list, list.FocusIndex))
    DrawItem(p, list, list.FocusIndex, list.Selected[list.FocusIndex], true);
}

void DrawItem(Program& p, ListElement& list, int32_t index, bool selected, bool focus) {
  if (!Visible(list, index) || !Valid(list, index)) return;
  const int32_t r = index - list.TopIndex;
  if (r < 0 || r >= static_cast<int32_t>(list.RowOffsets.size())) return;
  const int y = list.Top + list.RowOffsets[r];
  const int rowBottom = y + list.RowHeight + 1;
  const Rect row{list.Left, y, list.Width, rowBottom - y};
  if (selected) {
    FillBackRect(p, row, list.SelBackgroundColor);
  } else if (!list.DropDown || index == 0) {
    CopyElementRect(p, static_cast<int16_t>(y), list.Left, static_cast<int16_t>(row.h), list.Width,
                    kDrawEnabled);
  }

  const bool hasIcon = list.ItemIcons[index] != -1;
  SelectElementFont(p, list, list.Selected[index] ? list.SelFontColor : list.FontColor);
  double x = list.Left + 3 + (hasIcon ? 30 : 0);
  std::string text = list.Items[index];
  if (list.Alignment >= 1 && list.Alignment <= 3) {
    text = ShortenText(p, text, list.Alignment, list.Width, list.Width - 1);
    if (list.Alignment == 2) x += (list.Width - MeasureText(p, text).w) / 2.0 - 1;
    if (list.Alignment == 3) x += list.Width - MeasureText(p, text).w - 1;
  }
  if (!text.empty()) DrawTextAt(p, RoundHalfEven(x), y, text);

  if (focus) {
    SetDrawColor(p, list.FocusRectColor);
    if (!list.HideFocus) OutlineBackRect(p, row);
  }
  if (hasIcon) {
    const int32_t icon = list.ItemIcons[index];
    if (icon >= 0 && icon < static_cast<int32_t>(list.Icons.size()) && list.Icons[icon])
      StretchToBack(p, *list.Icons[icon], Rect{list.Left + 5, y + 2, 25, list.RowHeight - 4});
  }
  PresentBackBuffer(p);
}

int32_t HitIndex(const ListElement& list, double y) {
  const double rel = y - list.Top;
  int32_t r = 0;
  const auto& offs = list.RowOffsets;
  const int32_t rows = std::min<int32_t>(list.PageSize, static_cast<int32_t>(offs.size()));
  // Largest row whose offset lies at or above the point.
  int32_t lo = 0;
  int32_t hi = rows - 1;
  while (lo <= hi) {
    const int32_t mid = (lo + hi) / 2;
    if (offs[mid] <= rel) {
      r = mid;
      lo = mid + 1;
    } else {
      hi = mid - 1;
    }
  }
  if (rel <= list.Height - 1 && list.TopIndex + r <= list.ListCount - 1 && list.TopIndex >= 0)
    return list.TopIndex + r;
  return -1;
}

void ClearListByKey(Program& p, const std::string& group, const std::string& name) {
  ForEachListBox(p, group, name, [&](ListElement& l) { ClearList(p, l); });
}

void AddListItem(Program& p, const std::string& group, const std::string& name,
                 const std::string& text, int32_t icon) {
  ForEachListBox(p, group, name, [&](ListElement& l) {
    AppendItem(p, l, text);
    if (icon != -1) SetItemIcon(l, icon);
  });
}

void BeginListUpdate(Program& p, const std::string& group, const std::string& name) {
  ForEachListBox(p, group, name, [&](ListElement& l) { l.Redraw = false; });
}

void EndListUpdate(Program& p, const std::string& group, const std::string& name) {
  ForEachListBox(p, group, name, [&](ListElement& l) {
    l.Redraw = true;
    RefreshList(p, l);
  });
}

void SetSelected(Program& p, ListElement& list, int32_t index, bool selected) {
  if (!Valid(list, index)) return;
  const bool was = list.Selected[index];
  if (list.MultiSelect != 0) {
    list.Selected[index] = selected;
    list.ListIndex = list.FocusIndex = list.CaretIndex = index;
    if (was && !selected) --list.SelCount;
    if (!was && selected) ++list.SelCount;
  } else {
    std::fill(list.Selected.begin(), list.Selected.end(), false);
    list.Selected[index] = selected;
    if (selected) {
      list.ListIndex = list.CaretIndex = list.FocusIndex = index;
      list.SelCount = 1;
    } else if (was) {
      list.ListIndex = -1;
      list.SelCount = 0;
      list.CaretIndex = -1;
      list.FocusIndex = 0;
    }
  }
  if (list.Redraw) RedrawList(p, list);
}

void SetItemSelected(Program& p, const std::string& group, const std::string& name, int32_t index,
                     bool selected) {
  ForEachListBox(p, group, name, [&](ListElement& l) { SetSelected(p, l, index, selected); });
}

void SelectCaret(Program& p, ListElement& list) {
  const int32_t c = list.CaretIndex;
  if (!Valid(list, c)) return;
  if (list.MultiSelect == 0) {
    std::fill(list.Selected.begin(), list.Selected.end(), false);
    list.ListIndex = c;
    list.Selected[c] = true;
    list.FocusIndex = c;
    list.SelCount = 1;
  } else {
    list.Selected[c] = true;
    list.FocusIndex = list.ListIndex = c;
    ++list.SelCount;
  }
  DrawItem(p, list, c, true, true);
}

void Unmark(Program& p, ListElement& list, UnmarkMode mode) {
  const int32_t c = list.CaretIndex;
  if (c != -1 && Visible(list, c) && Valid(list, c)) {
    if (list.MultiSelect == 0) list.Selected[c] = false;
    DrawItem(p, list, c, mode == UnmarkMode::Keep ? static_cast<bool>(list.Selected[c]) : false,
             false);
  }
  const int32_t f = list.FocusIndex;
  if (f != c && Valid(list, f)) DrawItem(p, list, f, list.Selected[f], false);
}

std::string GetItemText(const ListElement& list, int32_t index) {
  const int32_t i = index == -1 ? list.ListIndex : index;
  return Valid(list, i) ? list.Items[i] : std::string();
}

std::string GetCurrentItemText(Program& p, const std::string& group, const std::string& name) {
  std::string text;
  ForEachListBox(p, group, name, [&](ListElement& l) { text = GetItemText(l, -1); });
  return text;
}

int16_t FindList(Program& p, const std::string& group, const std::string& name) {
  int16_t found = 0;
  for (size_t i = 0; i < p.tables.ListBoxes.size(); ++i)
    if (p.tables.ListBoxes[i].HasKey(group, name)) found = static_cast<int16_t>(i);
  return found;
}

void ListPointerDown(Program& p, ListElement& list, float y) {
  list.LastPointerY = y;
  const int32_t hit = HitIndex(list, y);
  if (hit == -1) return;
  list.Tracking = 1;
  if (list.MultiSelect == 0) {
    Unmark(p, list, UnmarkMode::Clear);
    list.CaretIndex = HitIndex(list, list.LastPointerY);
    SelectCaret(p, list);
    return;
  }
  Unmark(p, list, UnmarkMode::Keep);
  const int32_t i = HitIndex(list, list.LastPointerY);
  list.CaretIndex = list.FocusIndex = list.ListIndex = i;
  if (list.Selected[i]) {
    list.Selected[i] = false;
    DrawItem(p, list, i, false, true);
    --list.SelCount;
  } else {
    list.Selected[i] = true;
    DrawItem(p, list, i, true, true);
    ++list.SelCount;
  }
}

void ListPointerUp(ListElement& list, int button) {
  if (button == 1) list.Tracking = 0;
}

void ListPageUp(Program& p, ListElement& list) {
  if (list.Tracking != 0) return;
  const int32_t f = list.FocusIndex;
  const int32_t n = list.PageSize;
  if (f - n + 1 < 0) {
    ViewFirstPage(list);
  } else {
    list.TopIndex = f - n + 1;
    list.BottomIndex = f;
  }
  if (list.MultiSelect != 0) {
    list.FocusIndex = list.ListIndex = list.TopIndex;
  } else {
    list.CaretIndex = list.TopIndex;
    SelectCaret(p, list);
  }
  RedrawList(p, list);
}

void ListPageDown(Program& p, ListElement& list) {
  if (list.Tracking != 0 || list.ListCount == 0) return;
  const int32_t f = list.FocusIndex;
  const int32_t n = list.PageSize;
  if (f + n - 1 < list.ListCount) {
    list.TopIndex = f;
    list.BottomIndex = f + n - 1;
  } else {
    ViewLastPage(list);
  }
  if (list.MultiSelect != 0) {
    list.FocusIndex = list.ListIndex = list.BottomIndex;
  } else {
    list.CaretIndex = list.BottomIndex;
    SelectCaret(p, list);
  }
  RedrawList(p, list);
}

void ListFirst(Program& p, ListElement& list) {
  if (list.Tracking != 0) return;
  if (list.MultiSelect != 0) {
    if (list.FocusIndex == 0) return;
    if (Valid(list, list.FocusIndex))
      DrawItem(p, list, list.FocusIndex, list.Selected[list.FocusIndex], false);
    ViewFirstPage(list);
    list.FocusIndex = list.ListIndex = 0;
  } else {
    if (list.CaretIndex == 0) return;
    Unmark(p, list, UnmarkMode::Clear);
    ViewFirstPage(list);
    list.CaretIndex = 0;
    SelectCaret(p, list);
  }
  RedrawList(p, list);
}

void ListLast(Program& p, ListElement& list) {
  if (list.Tracking != 0) return;
  if (list.MultiSelect != 0) {
    if (list.ListCount == list.FocusIndex + 1) return;
    if (Valid(list, list.FocusIndex))
      DrawItem(p, list, list.FocusIndex, list.Selected[list.FocusIndex], false);
    ViewLastPage(list);
    list.CaretIndex = list.FocusIndex = list.ListIndex = list.ListCount - 1;
  } else {
    if (list.ListCount == list.CaretIndex + 1) return;
    Unmark(p, list, UnmarkMode::Clear);
    ViewLastPage(list);
    list.CaretIndex = list.ListCount - 1;
    SelectCaret(p, list);
  }
  RedrawList(p, list);
}

void PageListBoxes(Program& p, const std::string& group, const std::string& name,
                   const std::string& how) {
  ForEachListBox(p, group, name, [&](ListElement& l) {
    if (how == "pageup") ListPageUp(p, l);
    if (how == "pagedown") ListPageDown(p, l);
    if (how == "first") ListFirst(p, l);
    if (how == "last") ListLast(p, l);
  });
}

}  // namespace qv
