// Lists: the row model shared by list boxes, multi-line text boxes and drive lists, and the
// selection, pointer and paging operations on it.
#pragma once

#include <cstdint>
#include <string>

#include "core/Elements.h"

namespace qv {

struct Program;

// Model and drawing.
void InitList(Program& p, ListElement& list);
void ClearList(Program& p, ListElement& list);
void AppendItem(Program& p, ListElement& list, const std::string& text);
void SetItemIcon(ListElement& list, int32_t icon);
void AddIcon(Program& p, ListElement& list, const std::string& path);
void ComputeRows(ListElement& list);
void RedrawList(Program& p, ListElement& list);
inline void RefreshList(Program& p, ListElement& list) {
  RedrawList(p, list);
}
void DrawItem(Program& p, ListElement& list, int32_t index, bool selected, bool focus);
int32_t HitIndex(const ListElement& list, double y);

// Operations on every list box with the key.
void ClearListByKey(Program& p, const std::string& group, const std::string& name);
void AddListItem(Program& p, const std::string& group, const std::string& name,
                 const std::string& text, int32_t icon);
void BeginListUpdate(Program& p, const std::string& group, const std::string& name);
void EndListUpdate(Program& p, const std::string& group, const std::string& name);

// Selection and texts.
void SetSelected(Program& p, ListElement& list, int32_t index, bool selected);
void SetItemSelected(Program& p, const std::string& group, const std::string& name, int32_t index,
                     bool selected);
void SelectCaret(Program& p, ListElement& list);
enum class UnmarkMode { Keep, Clear };
void Unmark(Program& p, ListElement& list, UnmarkMode mode);
// Item text, or the current item's for index -1; "" where there is no such item.
std::string GetItemText(const ListElement& list, int32_t index);
std::string GetCurrentItemText(Program& p, const std::string& group, const std::string& name);
int16_t FindList(Program& p, const std::string& group, const std::string& name);

// Pointer.
void ListPointerDown(Program& p, ListElement& list, float y);
void ListPointerUp(ListElement& list, int button);

// Paging.
void ListPageUp(Program& p, ListElement& list);
void ListPageDown(Program& p, ListElement& list);
void ListFirst(Program& p, ListElement& list);
void ListLast(Program& p, ListElement& list);
// The paging commands of the explorers' file boxes: "pageup", "pagedown", "first", "last".
void PageListBoxes(Program& p, const std::string& group, const std::string& name,
                   const std::string& how);

}  // namespace qv
