// The probe's script language: one command per line, read ahead of the run so that a typing
// error is reported before anything happens.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace probe {

enum class Op { Down, Up, Click, DblClick, Press, Tap, DoubleTap, Tick, Advance, Dump, Shot, Echo };

enum class TimerKind { Cpu, Clock };

struct ScriptLine {
  int number = 0;      // 1-based line number in the script
  std::string text;    // the line as written (without its line end)
  int yieldIndex = 0;  // 0: carried out by the top-level loop; N: by the N-th Yield ("~N")
  Op op = Op::Echo;
  double x = 0;  // down, up, click, dblclick
  double y = 0;
  std::string group;  // press, tap, doubletap (lower-cased, as layout keys are)
  std::string name;
  int row = 0;  // tap, doubletap
  TimerKind timer = TimerKind::Cpu;
  int count = 1;         // tick
  int64_t seconds = 0;   // advance
  std::string argument;  // dump and shot: the file; echo: the text
};

struct ScriptError {
  int line = 0;
  std::string text;
  std::string message;
};

// Splits one line into words: blanks separate, a double-quoted word may hold blanks ("" inside
// quotes stands for one quote), a word that begins with "#" starts a comment.
bool SplitWords(const std::string& line, std::vector<std::string>* words, std::string* error);

// Parses a whole script. Blank and comment lines are left out of `lines`.
bool ParseScript(const std::string& text, std::vector<ScriptLine>* lines, ScriptError* error);

// The text with its control bytes written as \xNN, so that a message quoting a script line
// cannot move the terminal's cursor or end the line early.
std::string EscapeControls(const std::string& text);

// "YYYY-MM-DD HH:MM:SS" with a real calendar date.
struct ClockTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
bool ParseClockTime(const std::string& text, ClockTime* time);

}  // namespace probe
