// Records of the screen elements and the seven element tables of the current screen.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Display.h"

namespace qv {

struct CommandPair {
  std::string Group;
  std::string Name;
};

struct Element {
  std::vector<CommandPair> Commands;  // pair 0 is the element's key
  int16_t Top = 0;
  int16_t Left = 0;
  int16_t Width = 0;
  int16_t Height = 0;

  bool HasKey(const std::string& group, const std::string& name) const {
    return !Commands.empty() && Commands[0].Group == group && Commands[0].Name == name;
  }
};

struct ElementFont {
  std::string FontName;
  int16_t FontSize = 0;
  bool Bold = false;
  bool Italic = false;
  Color FontColor = 0;
  int16_t Alignment = 0;  // 1 left, 2 centred, 3 right

  FontSpec Font() const { return FontSpec{FontName, FontSize, Bold, Italic}; }
};

struct StatusBarElement : Element, ElementFont {
  int16_t Percent = 0;
};

struct TextBoxElement : Element, ElementFont {
  std::string Text;
};

struct ButtonElement : Element {
  bool Enabled = true;
};

// The one record of list boxes, multi-line text boxes and drive lists.
struct ListElement : Element, ElementFont {
  Color SelFontColor = 0;
  Color SelBackgroundColor = 0;
  Color FocusRectColor = 0;
  int16_t MultiSelect = 0;
  bool HideFocus = false;
  int32_t TopIndex = -1;
  int32_t BottomIndex = -1;
  int32_t RowHeight = 0;
  std::vector<int32_t> RowOffsets;  // grows with the list's height
  int32_t PageSize = 1;
  int32_t SelCount = 0;
  int32_t ListIndex = -1;
  int32_t ListCount = 0;
  bool Redraw = false;
  int32_t FocusIndex = 0;
  int32_t CaretIndex = -1;
  int32_t Tracking = 0;
  std::vector<std::string> Items;
  std::vector<bool> Selected;
  std::vector<int32_t> ItemIcons;
  int32_t IconCount = 0;
  std::vector<SurfacePtr> Icons;
  float LastPointerY = 0;
  bool DropDown = false;
  // Drive lists only.
  bool MenuOpen = false;
  bool DriveLocked = false;
  std::string ChosenDrive;
};

struct DiagramElement : Element {};

struct ElementTables {
  std::vector<StatusBarElement> StatusBars;
  std::vector<TextBoxElement> TextBoxes;
  std::vector<ButtonElement> Buttons;
  std::vector<ListElement> MultiLineTextBoxes;
  std::vector<ListElement> ListBoxes;
  std::vector<ListElement> DriveLists;
  std::vector<DiagramElement> Diagrams;

  void Clear() { *this = ElementTables{}; }
};

// The hit rule: edges lie outside.
inline bool Contains(const Element& e, double x, double y) {
  return e.Top < y && y < e.Top + e.Height && e.Left < x && x < e.Left + e.Width;
}

// Index of the first element of a table that contains the point, or -1: for overlapping
// elements the one read earlier from the layout wins.
template <typename Table>
int FirstContaining(const Table& table, double x, double y) {
  for (size_t i = 0; i < table.size(); ++i)
    if (Contains(table[i], x, y)) return static_cast<int>(i);
  return -1;
}

}  // namespace qv
