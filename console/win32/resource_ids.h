// The numbers of FerryConsole's resources and of its dialog controls; shared by
// the resource script and the code.
#pragma once

#define IDI_FERRY 1
#define IDI_CONNECTION 2
#define IDI_ACCOUNT 3

#define IDD_INPUT 100
#define IDC_INPUT_PROMPT 101
#define IDC_INPUT_ANSWER 102

#define IDD_FEED 110
#define IDC_FEED_NAME 111
#define IDC_FEED_URL 112
#define IDC_FEED_TO 113
