// The initial client responses of the two bearer-token SASL mechanisms, as
// sent after "AUTH XOAUTH2 " or "AUTH OAUTHBEARER " (base64, no line end), and
// the reading of a server's error challenge. Pure.
#pragma once

#include <string>
#include <string_view>

namespace ferry::oauth {

enum class BearerMechanism { Xoauth2 = 1, OauthBearer = 2 };

// The SASL name: "XOAUTH2" or "OAUTHBEARER".
const char* MechanismName(BearerMechanism mechanism);

// XOAUTH2: base64("user=" user ^A "auth=Bearer " token ^A ^A).
std::string Xoauth2InitialResponse(std::string_view user, std::string_view accessToken);

// OAUTHBEARER (RFC 7628): base64 of the GS2 header "n,a=<user>," (with "=" and
// "," in the name escaped as "=3D" and "=2C"), then host, port and the bearer
// token as key=value pairs, each ended by ^A, and a closing ^A.
std::string OauthBearerInitialResponse(std::string_view user, std::string_view host, int port,
                                       std::string_view accessToken);

std::string InitialResponse(BearerMechanism mechanism, std::string_view user, std::string_view host, int port,
                            std::string_view accessToken);

// The "status" member of a server's base64 JSON error challenge (RFC 7628
// 3.2.2), e.g. "invalid_token"; empty when the challenge is not one.
std::string ChallengeStatus(std::string_view base64Challenge);

// RFC 4648 base64 without line breaks: the standard alphabet with padding, or
// the URL alphabet without padding.
std::string Base64Url(std::string_view bytes);
// Decodes standard base64 (padding optional); false on any other character.
bool Base64Decode(std::string_view text, std::string* out);

}  // namespace ferry::oauth
