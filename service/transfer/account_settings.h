// The settings of one account run as loaded from the store: every string field
// holds its stored text whole, at most the longest length its row of the
// settings table allows (the widths noted below are those of earlier versions).
#pragma once

#include <cstdint>
#include <string>

namespace ferry {

struct AccountSettings {
  std::string connectionName;  // 60
  std::string accountName;     // 60

  // Global
  std::string proxyHost;  // 60
  uint32_t proxyPort = 0;
  std::string bdwDir;       // 256 (255 read)
  std::string ctDir;        // 256 (255 read)
  std::string tickerEMail;  // 60
  std::string ctEMail;      // 60
  int32_t debugLevel = 0;
  std::string heloName;  // 256: the name EHLO gives; empty: the computer's full name
  uint32_t listenRas = 1;

  // Connection
  int32_t timeout = -1;
  uint32_t enableLogging = 0;
  std::string logfile;  // 256: the account's, else the connection's

  // Account
  std::string smtpTo;       // 60
  std::string popHost;      // 60
  std::string smtpFrom;     // 60
  std::string popUser;      // 60
  std::string popPassword;  // 60
  std::string smtpHost;     // 60
  std::string command;      // 160
  uint32_t popDelete = 0;
  uint32_t addressmode = 0;
  uint32_t addressmodeTicker = 0;
  uint32_t addressmodeFrom = 0;
  int32_t maxMails = 10;
  uint32_t udpPort = 0;
  uint32_t enableAccount = 0;
  uint32_t enableWissenschaft = 0;
  uint32_t enableCt = 0;
  uint32_t enableCommand = 0;
  uint32_t enableUdp = 0;
  uint32_t enableKeepAlive = 0;
  uint32_t enableFromUdp = 0;
  uint32_t inUse = 0;
  uint32_t keepDays = 0;  // without "POP Delete": days a forwarded message stays; 0 for ever
  std::string localDomains;    // 256: the domains a shared mailbox collects; empty: one recipient
  std::string envelopeHeader;  // 60: the header that names the recipients instead of To/Cc

  // Volatile (one pair for the whole service)
  std::string lastTitle;  // 160
  std::string lastDate;   // 60

  // Transfer limits: deadlines in seconds (global), the largest message in
  // bytes fetched (account; 0: no limit).
  uint32_t smtpReplyTimeout = 300;
  uint32_t smtpDataTimeout = 120;
  uint32_t smtpBlockTimeout = 180;
  uint32_t smtpDataEndTimeout = 600;
  uint32_t pop3ReplyTimeout = 120;
  uint32_t receiveIdleTimeout = 120;
  uint32_t slowTransferWindow = 300;
  uint32_t sendTimeout = 300;
  uint32_t maxSize = 0;

  // TLS and the SMTP login (account; the CA file also global). Security modes:
  // see tls_modes.h; a port of 0 is the mode's default.
  uint32_t popSecurity = 0;
  uint32_t smtpSecurity = 0;
  uint32_t popPort = 0;
  uint32_t smtpPort = 0;
  std::string smtpUser;      // 60
  std::string smtpPassword;  // 60
  std::string tlsCaFile;        // 256: the account's
  std::string globalTlsCaFile;  // 256

  // OAuth 2.0 sign-in (account): login mechanisms (0 password, 1 XOAUTH2,
  // 2 OAUTHBEARER), the authorization server and client, and the tokens the
  // service keeps (the access token's expiry in seconds since 1970).
  uint32_t popAuth = 0;
  uint32_t smtpAuth = 0;
  std::string oauthTokenUrl;
  std::string oauthDeviceUrl;
  std::string oauthAuthorizeUrl;
  std::string oauthClientId;
  std::string oauthClientSecret;
  std::string oauthScope;
  std::string oauthRefreshToken;
  std::string oauthAccessToken;
  uint32_t oauthAccessExpiry = 0;

  bool operator==(const AccountSettings&) const = default;
};

}  // namespace ferry
