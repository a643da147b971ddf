#include "host/headless/headless.h"

#include <cstdio>
#include <cstdlib>

#include "host/core/keys.h"

namespace qb::host {

namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

}  // namespace

bool ParseScript(const std::string& script, std::vector<ScriptStep>* steps, std::string* error) {
  steps->clear();
  size_t pos = 0;
  int line_no = 0;
  while (pos <= script.size()) {
    size_t nl = script.find('\n', pos);
    if (nl == std::string::npos) nl = script.size();
    std::string raw = script.substr(pos, nl - pos);
    pos = nl + 1;
    ++line_no;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    std::string line = Trim(raw);
    if (line.empty() || line[0] == '#') {
      if (nl == script.size()) break;
      continue;
    }
    ScriptStep step;
    step.line = line_no;
    std::string word = line.substr(0, line.find(' '));
    if (word == "text") {
      // Everything after "text " is typed as it stands, inner blanks included.
      size_t start = raw.find("text") + 4;
      if (start < raw.size() && raw[start] == ' ') ++start;
      std::string typed = raw.substr(start);
      step.kind = ScriptStep::kText;
      step.text = DecodeUtf8(typed);
    } else if (line == "screen") {
      step.kind = ScriptStep::kScreen;
    } else if (line == "clipboard") {
      step.kind = ScriptStep::kClipboard;
    } else if (word == "wait") {
      std::string n = Trim(line.substr(4));
      char* end = nullptr;
      long long ms = std::strtoll(n.c_str(), &end, 10);
      if (n.empty() || *end != '\0' || ms < 0) {
        *error = "line " + std::to_string(line_no) + ": \"wait\" needs milliseconds: " + line;
        return false;
      }
      step.kind = ScriptStep::kWait;
      step.ms = ms;
    } else if (word == "size") {
      // "size COLSxROWS": the screen takes a new size, as a terminal does when its window is
      // resized.
      std::string rest = Trim(line.substr(4));
      int cols = 0, rows = 0;
      char extra = 0;
      if (std::sscanf(rest.c_str(), "%dx%d%c", &cols, &rows, &extra) != 2 || cols < 1 || rows < 1 ||
          cols > 1000 || rows > 1000) {
        *error = "line " + std::to_string(line_no) + ": \"size\" needs COLSxROWS: " + line;
        return false;
      }
      step.kind = ScriptStep::kSize;
      step.cols = cols;
      step.rows = rows;
    } else if (word == "click") {
      // "click X Y": a left click on the cell in column X, row Y (both from 0).
      std::string rest = Trim(line.substr(5));
      int x = -1, y = -1;
      char extra = 0;
      if (std::sscanf(rest.c_str(), "%d %d %c", &x, &y, &extra) != 2 || x < 0 || y < 0) {
        *error =
            "line " + std::to_string(line_no) + ": \"click\" needs a column and a row: " + line;
        return false;
      }
      step.kind = ScriptStep::kKey;
      step.key.kind = Event::kMouse;
      step.key.x = x;
      step.key.y = y;
    } else {
      auto key = ParseKeyName(line);
      if (!key) {
        *error = "line " + std::to_string(line_no) + ": unknown key or command: " + line;
        return false;
      }
      step.kind = ScriptStep::kKey;
      step.key = *key;
    }
    steps->push_back(std::move(step));
    if (nl == script.size()) break;
  }
  return true;
}

HeadlessFrontEnd::HeadlessFrontEnd(int cols, int rows, std::vector<ScriptStep> steps,
                                   std::ostream& out)
    : cols_(cols), rows_(rows), steps_(std::move(steps)), out_(out) {}

void HeadlessFrontEnd::Present(const Screen& screen) {
  last_ = screen.ToText();
}

Event HeadlessFrontEnd::Wait(int timeout_ms) {
  while (next_ < steps_.size()) {
    ScriptStep& step = steps_[next_];
    switch (step.kind) {
      case ScriptStep::kKey:
        ++next_;
        return step.key;
      case ScriptStep::kText:
        if (text_pos_ < step.text.size()) return CharEvent(step.text[text_pos_++]);
        text_pos_ = 0;
        ++next_;
        continue;
      case ScriptStep::kScreen:
        out_ << last_;
        out_.flush();
        ++next_;
        continue;
      case ScriptStep::kClipboard:
        out_ << clipboard_ << "\n";
        out_.flush();
        ++next_;
        continue;
      case ScriptStep::kSize: {
        ++next_;
        cols_ = step.cols;
        rows_ = step.rows;
        Event resize;
        resize.kind = Event::kResize;
        resize.x = cols_;
        resize.y = rows_;
        return resize;
      }
      case ScriptStep::kWait:
        if (wait_left_ < 0) wait_left_ = step.ms;
        if (timeout_ms >= 0 && timeout_ms < wait_left_) {
          // A timer falls due inside the wait: pass time up to it and let the host run it.
          now_ += timeout_ms;
          wait_left_ -= timeout_ms;
          return Event{};
        }
        now_ += wait_left_;
        wait_left_ = -1;
        ++next_;
        if (timeout_ms >= 0) return Event{};
        continue;
    }
  }
  Event quit;
  quit.kind = Event::kQuit;
  return quit;
}

Event HeadlessFrontEnd::Poll() {
  if (next_ >= steps_.size()) return Event{};
  ScriptStep& step = steps_[next_];
  if (step.kind == ScriptStep::kKey) {
    ++next_;
    return step.key;
  }
  if (step.kind == ScriptStep::kText && text_pos_ < step.text.size()) {
    Event ev = CharEvent(step.text[text_pos_++]);
    if (text_pos_ == step.text.size()) {
      text_pos_ = 0;
      ++next_;
    }
    return ev;
  }
  return Event{};
}

}  // namespace qb::host
