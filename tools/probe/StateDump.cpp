#include "probe/StateDump.h"

#include "core/Program.h"

namespace probe {

namespace {

Json KeyJson(const qv::Element& e) {
  Json key = Json::Array();
  if (!e.Commands.empty()) {
    key.Add(e.Commands[0].Group);
    key.Add(e.Commands[0].Name);
  }
  return key;
}

Json RectJson(const qv::Element& e) {
  Json rect = Json::Array();
  rect.Add(e.Top);
  rect.Add(e.Left);
  rect.Add(e.Width);
  rect.Add(e.Height);
  return rect;
}

Json Head(const qv::Element& e) {
  Json o = Json::Object();
  o.Set("key", KeyJson(e));
  return o;
}

Json ListJson(const qv::ListElement& l, bool driveList) {
  Json o = Head(l);
  o.Set("rect", RectJson(l));
  Json items = Json::Array();
  for (const std::string& item : l.Items) items.Add(item);
  o.Set("items", std::move(items));
  Json icons = Json::Array();
  for (int32_t icon : l.ItemIcons) icons.Add(icon);
  o.Set("icons", std::move(icons));
  Json selected = Json::Array();
  for (bool s : l.Selected) selected.Add(s);
  o.Set("selected", std::move(selected));
  o.Set("listIndex", l.ListIndex);
  o.Set("topIndex", l.TopIndex);
  o.Set("bottomIndex", l.BottomIndex);
  o.Set("focusIndex", l.FocusIndex);
  o.Set("caretIndex", l.CaretIndex);
  o.Set("selCount", l.SelCount);
  o.Set("pageSize", l.PageSize);
  o.Set("tracking", l.Tracking);
  if (driveList) {
    o.Set("chosenDrive", l.ChosenDrive);
    o.Set("menuOpen", l.MenuOpen);
    o.Set("driveLocked", l.DriveLocked);
  }
  return o;
}

template <typename T, typename F>
Json TableJson(const std::vector<T>& table, F&& element) {
  Json a = Json::Array();
  for (const T& e : table) a.Add(element(e));
  return a;
}

}  // namespace

Json StateJson(const qv::Program& p) {
  const qv::ElementTables& t = p.tables;
  Json root = Json::Object();
  root.Set("screen", p.skin.CurrentScreen);
  root.Set("previousScreen", p.skin.PreviousScreen);
  root.Set("buttons", TableJson(t.Buttons, [](const qv::ButtonElement& b) {
             Json o = Head(b);
             Json commands = Json::Array();
             for (const qv::CommandPair& pair : b.Commands) {
               Json c = Json::Array();
               c.Add(pair.Group);
               c.Add(pair.Name);
               commands.Add(std::move(c));
             }
             o.Set("commands", std::move(commands));
             o.Set("rect", RectJson(b));
             o.Set("enabled", b.Enabled);
             return o;
           }));
  root.Set("statusBars", TableJson(t.StatusBars, [](const qv::StatusBarElement& s) {
             Json o = Head(s);
             o.Set("rect", RectJson(s));
             o.Set("percent", s.Percent);
             return o;
           }));
  root.Set("textBoxes", TableJson(t.TextBoxes, [](const qv::TextBoxElement& b) {
             Json o = Head(b);
             o.Set("rect", RectJson(b));
             o.Set("text", b.Text);
             return o;
           }));
  auto list = [](const qv::ListElement& l) { return ListJson(l, false); };
  root.Set("listBoxes", TableJson(t.ListBoxes, list));
  root.Set("multiLineTextBoxes", TableJson(t.MultiLineTextBoxes, list));
  root.Set("driveLists",
           TableJson(t.DriveLists, [](const qv::ListElement& l) { return ListJson(l, true); }));
  root.Set("diagrams", TableJson(t.Diagrams, [](const qv::DiagramElement& d) {
             Json o = Head(d);
             o.Set("rect", RectJson(d));
             return o;
           }));

  Json state = Json::Object();
  state.Set("SourcePath", p.explorer.SourcePath);
  state.Set("DestinationPath", p.explorer.DestinationPath);
  Json copyList = Json::Array();
  for (const std::string& path : p.explorer.CopyList) copyList.Add(path);
  state.Set("CopyList", std::move(copyList));
  Json indices = Json::Array();
  for (int32_t i : p.explorer.CopyListIndices) indices.Add(i);
  state.Set("CopyListIndices", std::move(indices));
  state.Set("ReportGroup", p.explorer.ReportGroup);
  state.Set("CancelRequested", p.flags.CancelRequested);
  state.Set("CheckDiskCancel", p.flags.CheckDiskCancel);
  state.Set("KeyboardText", p.keyboard.KeyboardText);
  state.Set("KeyboardConfirmed", p.keyboard.KeyboardConfirmed);
  state.Set("ShiftOn", p.keyboard.ShiftOn);
  state.Set("CapsLockOn", p.keyboard.CapsLockOn);
  state.Set("DriveRequester", p.explorer.DriveRequester);
  state.Set("TotalClusters", p.disk.TotalClusters);
  state.Set("PressedButton", p.shell.PressedButton);
  state.Set("ScaleX", p.skin.ScaleX);
  state.Set("ScaleY", p.skin.ScaleY);
  state.Set("DesignWidth", p.skin.DesignWidth);
  state.Set("DesignHeight", p.skin.DesignHeight);
  root.Set("state", std::move(state));
  return root;
}

}  // namespace probe
