// The CT newsticker: the index page asked for only when it changed since
// "LastDate", the items newer than "LastTitle" fetched oldest first, each kept
// in "CTDir" and mailed to "CTEMail".
#pragma once

namespace ferry {

class RunContext;

// The whole CT stage; "LastDate" and "LastTitle" are left in the context's
// settings for its save. Returns 0.
int ReadCtNewsTicker(RunContext& context);

}  // namespace ferry
