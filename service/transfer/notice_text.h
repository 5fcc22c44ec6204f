// The texts of an account run's UDP notices.
#pragma once

#include <string>

namespace ferry {

// "%d %s": the number of messages the run forwarded, and the account name.
std::string FormatRunNotice(int messageCount, const std::string& accountName);
// "#%s#%s": the account name and the sender of one fetched message.
std::string FormatSenderNotice(const std::string& accountName, const std::string& sender);

}  // namespace ferry
