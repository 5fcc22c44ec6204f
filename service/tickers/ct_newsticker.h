// The CT newsticker: the index page asked for only when it changed since
// "LastDate", the items not mailed before fetched oldest first, each kept in
// "CTDir" and mailed to "CTEMail". The links whose mails the SMTP server
// accepted are kept in the ticker's state; "LastTitle" names the newest of
// them, and "LastDate" moves only once every new item of the index was mailed.
#pragma once

#include <cstdint>

namespace ferry {

class RunContext;

// The whole CT stage, its mails delivered; "LastDate" and "LastTitle" are left
// in the context's settings for its save. Returns the mails the SMTP server
// accepted.
int32_t ReadCtNewsTicker(RunContext& context);

}  // namespace ferry
