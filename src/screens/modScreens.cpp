#include "screens/modScreens.h"

#include <cmath>

#include "core/Convert.h"
#include "core/ProfileString.h"
#include "core/Program.h"
#include "skin/modForm.h"
#include "widgets/modButton.h"
#include "widgets/modDriveList.h"
#include "widgets/modListbox.h"
#include "widgets/modStatusbar.h"
#include "widgets/modTextBox.h"

namespace qv {

namespace {

std::string LayoutPath(Program& p, const std::string& screen) {
  return p.os.files.SkinFolder() + "\\" + screen + ".ini";
}

}  // namespace

void ShowScreen(Program& p, const std::string& name) {
  // A copy: callers pass PreviousScreen itself, which is overwritten below.
  const std::string screen = name;
  const std::string wanted = LowerCase(screen);
  for (const SkinImage& image : p.skin.SkinImages) {
    if (!image.surface) continue;
    const std::string lower = LowerCase(image.name);
    const size_t underscore = lower.find('_');
    if (lower.substr(0, underscore) != wanted) continue;
    // Without "_" the whole name is the screen part; such a picture has no state word.
    if (lower.find("active") != std::string::npos) p.skin.StateImages[2] = image.surface;
    if (lower.find("disabled") != std::string::npos) p.skin.StateImages[1] = image.surface;
    // "disabled" contains "enabled": only a name with the word on its own is an enabled look,
    // else the listing order would decide which picture a screen shows.
    std::string rest = lower;
    for (size_t at; (at = rest.find("disabled")) != std::string::npos;) rest.erase(at, 8);
    if (rest.find("enabled") != std::string::npos) p.skin.StateImages[0] = image.surface;
  }
  p.skin.PreviousScreen = p.skin.CurrentScreen;
  p.skin.CurrentScreen = screen;
  ++p.skin.screenChanges;
  DrawElementRect(p, 0, 0, p.settings.ResY, p.settings.ResX, kDrawEnabled);
  LoadScreenLayout(p, screen);
  // A copy: a reaction may register others.
  const auto shown = p.reactions.screenShown;
  for (const auto& reaction : shown) reaction(p);
}

std::string ReadLayoutValue(Program& p, const std::string& screen, const std::string& section,
                            const std::string& key) {
  const Result<std::vector<uint8_t>> bytes = p.os.files.ReadWholeFile(LayoutPath(p, screen));
  if (!bytes.ok()) return std::string();
  return LowerCase(ProfileFile(*bytes).Get(section, key));
}

bool ParseColorChecked(const std::string& text, Color* color) {
  const std::vector<std::string> parts = Split(text, '|');
  if (parts.size() != 3) return false;
  int64_t c[3];
  for (int i = 0; i < 3; ++i) {
    double d;
    if (!ParseDecimal(parts[i], &d) || d < -2147483648.0 || d > 2147483647.0) return false;
    c[i] = static_cast<int64_t>(std::floor(d));
  }
  *color = static_cast<Color>(c[0] + 256 * c[1] + 65536 * c[2]);
  return true;
}

Color ParseColor(const std::string& text) {
  Color c = 0;
  return ParseColorChecked(text, &c) ? c : 0;
}

namespace {

const char* const kElementTypes[] = {"statusbar", "textbox",   "button",  "textboxmultiline",
                                     "listbox",   "drivelist", "diagramm"};

bool HasFont(const std::string& type) {
  return type == "statusbar" || type == "textbox" || type == "textboxmultiline" ||
         type == "listbox" || type == "drivelist";
}

// One layout section as the loader reads it, before scaling.
struct SectionData {
  std::string type;
  std::vector<CommandPair> commands;
  double position[4] = {0, 0, 0, 0};
  std::string fontName;
  double fontSize = 0;
  bool bold = false;
  bool italic = false;
  Color fontColor = 0;
  int16_t alignment = 0;
  int16_t multiSelect = 0;
  Color colors[3] = {0, 0, 0};  // list box: sel font, sel background, focus; drive list: menu
};

// Reads section n. Fills `problems` with every malformed value; the element is usable only when
// there is none. Returns false when the section's type is empty (the end of the layout).
bool ReadSection(const ProfileFile& file, int n, SectionData* d,
                 std::vector<LayoutProblem>* problems) {
  const std::string section = std::to_string(n);
  auto value = [&](const std::string& key) { return LowerCase(file.Get(section, key)); };
  auto problem = [&](const std::string& key, const std::string& what) {
    problems->push_back(LayoutProblem{section, key, what});
  };
  d->type = value("Type");
  if (d->type.empty()) return false;
  if (!IsElementType(d->type)) {
    problem("Type", "note: unknown type \"" + d->type + "\", the program skips this section");
    return true;
  }
  for (int k = 0;; ++k) {
    const std::string key = "Command" + std::to_string(k);
    const std::string v = value(key);
    if (v.empty()) break;
    const std::vector<std::string> parts = Split(v, ';');
    if (parts.size() < 2) {
      problem(key, "command \"" + v + "\" has no \";\"");
      continue;
    }
    d->commands.push_back(CommandPair{parts[0], parts[1]});
  }
  const std::string pos = value("Position");
  const std::vector<std::string> p = Split(pos, ';');
  bool posOk = p.size() == 4;
  for (size_t i = 0; posOk && i < 4; ++i) posOk = ParseDecimal(p[i], &d->position[i]);
  if (!posOk) problem("Position", "\"" + pos + "\" is not four numbers separated by \";\"");

  if (HasFont(d->type)) {
    const std::string font = value("Font");
    const std::vector<std::string> f = Split(font, ';');
    if (f.size() != 6) {
      problem("Font", "\"" + font + "\" is not six fields separated by \";\"");
    } else {
      d->fontName = Trim(f[0]);
      if (!ParseDecimal(f[1], &d->fontSize))
        problem("Font", "size \"" + f[1] + "\" is not a number");
      if (!ParseBool(f[2], &d->bold)) problem("Font", "bold \"" + f[2] + "\" is not a boolean");
      if (!ParseBool(f[3], &d->italic)) problem("Font", "italic \"" + f[3] + "\" is not a boolean");
      if (!ParseColorChecked(f[4], &d->fontColor))
        problem("Font", "colour \"" + f[4] + "\" is not three numbers separated by \"|\"");
      if (!ParseInt16(f[5], &d->alignment))
        problem("Font", "alignment \"" + f[5] + "\" is not a number");
    }
  }
  auto color = [&](const std::string& key, Color* out) {
    const std::string v = value(key);
    if (!ParseColorChecked(v, out))
      problem(key, "colour \"" + v + "\" is not three numbers separated by \"|\"");
  };
  if (d->type == "listbox") {
    const std::string ms = value("MultiSelect");
    if (!ParseInt16(ms, &d->multiSelect)) problem("MultiSelect", "\"" + ms + "\" is not a number");
    color("SelFontColor", &d->colors[0]);
    color("SelBackgroundColor", &d->colors[1]);
    color("FocusRectColor", &d->colors[2]);
  } else if (d->type == "drivelist") {
    color("MenuColor", &d->colors[0]);
    color("MenuFontColor", &d->colors[1]);
  }
  return true;
}

bool ScaleTo16(double v, float scale, int16_t* out) {
  const double r = RoundHalfEven(v * static_cast<double>(scale));
  if (r < -32768.0 || r > 32767.0) return false;
  *out = static_cast<int16_t>(r);
  return true;
}

// Fills the Element and ElementFont parts; false when a scaled value does not fit.
bool FillElement(const Program& p, const SectionData& d, Element* e) {
  e->Commands = d.commands;
  return ScaleTo16(d.position[0], p.skin.ScaleY, &e->Top) &&
         ScaleTo16(d.position[1], p.skin.ScaleX, &e->Left) &&
         ScaleTo16(d.position[2], p.skin.ScaleX, &e->Width) &&
         ScaleTo16(d.position[3], p.skin.ScaleY, &e->Height);
}

// FillElement, saying which element is left out when it cannot be placed in the window.
bool PlaceElement(const Program& p, const SectionData& d, const std::string& screen, int section,
                  Element* e) {
  if (FillElement(p, d, e)) return true;
  p.os.diag.Warn("the layout of \"" + screen + "\", section " + std::to_string(section) +
                 ", places its element beyond what a window can hold; it is left out");
  return false;
}

bool FillFont(const Program& p, const SectionData& d, const std::string& screen, int section,
              ElementFont* f) {
  f->FontName = d.fontName;
  f->Bold = d.bold;
  f->Italic = d.italic;
  f->FontColor = d.fontColor;
  f->Alignment = d.alignment;
  // A size of nothing hides a list's rows; a huge one takes gigabytes of glyphs.
  double size = d.fontSize;
  if (size < 1 || size > kMaxFontPoints) {
    size = size < 1 ? FontSpec{}.size : kMaxFontPoints;
    p.os.diag.Warn("the layout of \"" + screen + "\", section " + std::to_string(section) +
                   ", has a font size out of range (1 to " + std::to_string(kMaxFontPoints) +
                   "); size " + std::to_string(static_cast<int>(size)) + " is used");
  }
  return ScaleTo16(size, p.skin.ScaleY, &f->FontSize);
}

void PrepareList(Program& p, const SectionData& d, ListElement* list) {
  if (d.type == "textboxmultiline") {
    list->MultiSelect = 1;
    list->HideFocus = true;
    list->Redraw = true;
  } else if (d.type == "listbox") {
    list->MultiSelect = d.multiSelect;
    list->SelFontColor = d.colors[0];
    list->SelBackgroundColor = d.colors[1];
    list->FocusRectColor = d.colors[2];
    list->HideFocus = false;
    AddIcon(p, *list, SkinFolder(p) + "icons\\Folder.jpg");
    AddIcon(p, *list, SkinFolder(p) + "icons\\File.jpg");
  } else {
    list->MultiSelect = 1;
    list->SelFontColor = d.colors[0];
    list->SelBackgroundColor = d.colors[1];
    list->HideFocus = true;
    list->Redraw = true;
    list->DropDown = true;
  }
}

}  // namespace

bool IsElementType(const std::string& type) {
  for (const char* t : kElementTypes)
    if (type == t) return true;
  return false;
}

bool UsableDesignSize(int width, int height) {
  return width >= kMinDesignSide && height >= kMinDesignSide && width <= kMaxDesignSide &&
         height <= kMaxDesignSide;
}

namespace {

// False when a "r|g|b" value has a part outside 0..255 (the loader still reads it).
bool ColorPartsInRange(const std::string& text) {
  for (const std::string& part : Split(text, '|')) {
    double v = 0;
    if (ParseDecimal(part, &v) && (v < 0 || v > 255)) return false;
  }
  return true;
}

// What the loader reads but the program cannot show: values out of range.
void CheckRanges(const ProfileFile& file, const SectionData& d, const std::string& section,
                 int designWidth, int designHeight, std::vector<LayoutProblem>* problems) {
  auto value = [&](const std::string& key) { return LowerCase(file.Get(section, key)); };
  const double top = d.position[0], left = d.position[1], width = d.position[2],
               height = d.position[3];
  if (designWidth > 0 && (top < 0 || left < 0 || width <= 0 || height <= 0 ||
                          left + width > designWidth || top + height > designHeight)) {
    // Appended, not added to a literal: GCC 12 misreads the latter as overlapping copies.
    std::string why = "\"";
    why += value("Position");
    why += "\" lies outside the design area of " + std::to_string(designWidth) + " x " +
           std::to_string(designHeight);
    problems->push_back({section, "Position", why});
  }
  if (HasFont(d.type)) {
    if (d.fontSize < 1 || d.fontSize > kMaxFontPoints)
      problems->push_back({section, "Font",
                           "size " + Split(value("Font"), ';')[1] + " is out of range (1 to " +
                               std::to_string(kMaxFontPoints) + ")"});
    if (!ColorPartsInRange(Split(value("Font"), ';')[4]))
      problems->push_back({section, "Font", "colour parts must lie in 0 to 255"});
  }
  for (const char* key :
       {"SelFontColor", "SelBackgroundColor", "FocusRectColor", "MenuColor", "MenuFontColor"})
    if (!ColorPartsInRange(value(key)))
      problems->push_back({section, key, "colour parts must lie in 0 to 255"});
}

}  // namespace

std::vector<LayoutProblem> CheckLayoutSection(const ProfileFile& file, int section, int designWidth,
                                              int designHeight) {
  SectionData d;
  std::vector<LayoutProblem> problems;
  ReadSection(file, section, &d, &problems);
  if (problems.empty() && IsElementType(d.type))
    CheckRanges(file, d, std::to_string(section), designWidth, designHeight, &problems);
  return problems;
}

void LoadScreenLayout(Program& p, const std::string& screen) {
  p.tables.Clear();
  const ProfileFile file(
      p.os.files.ReadWholeFile(LayoutPath(p, screen)).value_or(std::vector<uint8_t>{}));
  ElementTables& t = p.tables;
  for (int n = 0;; ++n) {
    SectionData d;
    std::vector<LayoutProblem> problems;
    if (!ReadSection(file, n, &d, &problems)) break;
    if (!problems.empty() || !IsElementType(d.type)) continue;
    if (d.type == "statusbar") {
      StatusBarElement bar;
      if (!PlaceElement(p, d, screen, n, &bar) || !FillFont(p, d, screen, n, &bar)) continue;
      t.StatusBars.push_back(bar);
      DrawStatusText(p, t.StatusBars.back(), "0%");
    } else if (d.type == "textbox") {
      TextBoxElement box;
      if (!PlaceElement(p, d, screen, n, &box) || !FillFont(p, d, screen, n, &box)) continue;
      t.TextBoxes.push_back(box);
      if (box.HasKey("explorersource", "directory"))
        AppendText(p, "explorersource", "directory", p.explorer.SourcePath);
      if (box.HasKey("explorerdestination", "directory"))
        AppendText(p, "explorerdestination", "directory", p.explorer.DestinationPath);
    } else if (d.type == "button") {
      ButtonElement button;
      if (!PlaceElement(p, d, screen, n, &button)) continue;
      button.Enabled = true;
      t.Buttons.push_back(button);
      if (!button.Commands.empty() && StartsDisabled(button.Commands[0]))
        DisableButtons(p, button.Commands[0].Group, button.Commands[0].Name, false);
    } else if (d.type == "diagramm") {
      DiagramElement diagram;
      if (!PlaceElement(p, d, screen, n, &diagram)) continue;
      t.Diagrams.push_back(diagram);
      if (!diagram.Commands.empty()) {
        const CommandPair key = diagram.Commands[0];
        p.reactions.diagramLoaded.Run(p, key.Group, key.Name,
                                      static_cast<int16_t>(t.Diagrams.size() - 1));
      }
    } else {
      ListElement list;
      if (!PlaceElement(p, d, screen, n, &list) || !FillFont(p, d, screen, n, &list)) continue;
      PrepareList(p, d, &list);
      std::vector<ListElement>& table = d.type == "listbox"     ? t.ListBoxes
                                        : d.type == "drivelist" ? t.DriveLists
                                                                : t.MultiLineTextBoxes;
      table.push_back(std::move(list));
      InitList(p, table.back());
      if (d.type == "drivelist") ShowOwnDrive(p, static_cast<int16_t>(table.size() - 1));
      if (d.type == "listbox" && !table.back().Commands.empty()) {
        const CommandPair key = table.back().Commands[0];
        p.reactions.listLoaded.Run(p, key.Group, key.Name, static_cast<int16_t>(table.size() - 1));
      }
    }
  }
}

}  // namespace qv
