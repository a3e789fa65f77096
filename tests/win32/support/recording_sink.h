// An EventSink that records what a window delivered, optionally reacting to each event.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/form.h"

namespace korvane::testing {

// "Clicked 3", "KeyDown 5 key 13": readable in a failed EXPECT_EQ over a list of events.
inline std::string Describe(const Event& event) {
  static const char* const kNames[] = {"Created", "Clicked",  "LeftClick", "RightClick", "DoubleClick",
                                       "KeyDown", "MenuItem", "Timer",     "Activated",  "FilesDropped"};
  std::string text = kNames[static_cast<int>(event.kind)];
  text.append(" ").append(std::to_string(event.control));
  if (event.kind == EventKind::KeyDown) text.append(" key ").append(std::to_string(event.key));
  return text;
}

class RecordingSink : public EventSink {
 public:
  void OnEvent(const Event& event) override {
    events.push_back(event);
    if (react) react(event);
  }

  std::vector<std::string> Described() const {
    std::vector<std::string> described;
    for (const Event& event : events) described.push_back(Describe(event));
    return described;
  }

  std::vector<Event> events;
  std::function<void(const Event&)> react;
};

}  // namespace korvane::testing
