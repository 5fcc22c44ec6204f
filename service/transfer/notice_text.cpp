#include "service/transfer/notice_text.h"

namespace ferry {

std::string FormatRunNotice(int messageCount, const std::string& accountName) {
  return std::to_string(messageCount) + " " + accountName;
}

std::string FormatSenderNotice(const std::string& accountName, const std::string& sender) {
  return "#" + accountName + "#" + sender;
}

}  // namespace ferry
