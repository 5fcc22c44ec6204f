// Stands in for the gateway program's authorisation in the window tests: shows
// a code as a sign-in does and the words it was given, then ends as the
// account (its last word) says: "anna" is authorised, "bert ..." is refused
// with exit status 1, any other waits until it is ended.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  std::printf("Code WDJB-MJHT bei https://auth.example.test/device eingeben\n");
  std::string words;
  for (int i = 1; i < argc; ++i) words += std::string(i > 1 ? " " : "") + "[" + argv[i] + "]";
  std::printf("Worte: %s\n", words.c_str());
  std::fflush(stdout);
  const std::string account = argc > 1 ? argv[argc - 1] : "";
  if (account == "anna") {
    std::printf("Token gespeichert.\n");
    return 0;
  }
  if (account.rfind("bert", 0) == 0) {
    std::fprintf(stderr, "invalid_client: unbekannte Client-ID\n");
    return 1;
  }
  Sleep(600000);
  return 0;
}
