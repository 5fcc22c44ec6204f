// Input and message boxes of the console as modal Qt dialogs. Texts arrive and
// leave as Latin-1 bytes.
#pragma once

#include "console/model/console_view.h"

class QWidget;

namespace ferry::console {

class QtDialogs : public Dialogs {
 public:
  explicit QtDialogs(QWidget* parent) : parent_(parent) {}
  std::optional<std::string> InputBox(const std::string& prompt, const std::string& title,
                                      const std::string& defaultAnswer) override;
  Answer MessageBox(const std::string& text, const std::string& title, BoxStyle style) override;
  // The fields' object names: "FeedName", "FeedUrl", "FeedTo".
  bool FeedBox(FeedEntry& feed, const std::string& title) override;

 private:
  QWidget* parent_;
};

}  // namespace ferry::console
