// The resources of the Control Panel applet in MailFerryRes.dll.
#pragma once

#define IDI_APPLET 1
#define IDS_APPLET_NAME 1
#define IDS_APPLET_INFO 2
