// ferryreg's commands against a real temporary hive: export then import into a
// fresh hive reproduces it byte for byte; a malformed or refused import changes
// nothing; delete and add ask before destroying data.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/store_location.h"
#include "platform/system_info.h"
#include "schema/registry_schema.h"
#include "service/runtime/account_worker.h"
#include "tests/runtime/store_setup.h"
#include "tests/support/temp_hive.h"
#include "tools/ferryreg/commands.h"
#include "tools/ferryreg/hive_access.h"
#include "tools/ferryreg/reg_file_diff.h"
#include "tools/ferryreg/reg_file_parser.h"
#include "tools/ferryreg/value_text.h"

namespace ferry::regtool {

// A store dump in a failure message: one line per key, its path and values.
void PrintTo(const KeyDump& key, std::ostream* os) {
  *os << "\n  [" << (key.path.root == Root::kLocalMachine ? "HKLM" : "HKCU");
  for (const std::string& part : key.path.parts) *os << "\\" << part;
  *os << "]";
  for (const ValueData& v : key.values) *os << " \"" << v.name << "\"(" << v.type << ")=" << v.bytes.size() << "B";
}

namespace {

struct RunResult {
  int code = -1;
  std::string out;
  std::string err;
};

RunResult Ferryreg(const std::vector<std::string>& args, const std::string& input = "") {
  std::istringstream in(input);
  std::ostringstream out;
  std::ostringstream err;
  RunResult r;
  r.code = RunFerryReg(args, in, out, err);
  r.out = out.str();
  r.err = err.str();
  return r;
}

void Put(reg::Key root, const std::string& path, const std::string& name, uint32_t type, const std::string& bytes) {
  reg::KeyHolder key;
  ASSERT_EQ(reg::CreateKey(root, path, key.out()), reg::kOk) << path;
  ASSERT_EQ(reg::SetValue(key.get(), name, type, bytes.data(), static_cast<uint32_t>(bytes.size())), reg::kOk);
}

// Every key of both roots with every value, as the store holds them.
std::vector<KeyDump> WholeStore() {
  std::vector<KeyDump> all;
  for (Root root : {Root::kLocalMachine, Root::kCurrentUser}) {
    reg::KeyHolder connected;
    EXPECT_EQ(ConnectRoot("", root, &connected), reg::kOk);
    std::vector<KeyDump> part;
    EXPECT_EQ(ReadTree(connected.get(), KeyPath{root, {}}, true, &part), reg::kOk);
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

class FerryregStoreTest : public test::TempHiveTest {
 protected:
  void SetUp() override {
    TempHiveTest::SetUp();
    ASSERT_EQ(ConnectRoot("", Root::kLocalMachine, &lm_), reg::kOk);
  }
  void TearDown() override {
    lm_.Reset();
    TempHiveTest::TearDown();
  }
  // Points the store at another hive file in the test's folder.
  void UseHive(const std::string& file) {
    lm_.Reset();
    SetEnvironment(reg::kHiveEnvironmentVariable, (Folder() / file).string());
    ASSERT_EQ(ConnectRoot("", Root::kLocalMachine, &lm_), reg::kOk);
  }

  // A tree with every kind of value and name the store can hold.
  void FillVariedTree() {
    const std::string p = "SYSTEM\\CurrentControlSet\\Services\\Mailferry Service\\Parameters";
    reg::Key r = lm_.get();
    Put(r, p, "DebugLevel", reg::kDword, DwordBytes(9));
    Put(r, p, "BDWDir", reg::kSz, "C:\\Ticker\\\"quoted\" dir");
    Put(r, p + "\\NORAS", "Timeout", reg::kDword, DwordBytes(0xFFFFFFFF));
    Put(r, p + "\\NORAS\\Postfach", "POP Host", reg::kSz, "pop.example.org");
    Put(r, p + "\\NORAS\\Postfach", "POP Passwort", reg::kSz, std::string("with nul\0", 9));
    Put(r, p + "\\NORAS\\Postfach", "SMTP From", reg::kSz, std::string("a\0b", 3));
    Put(r, p + "\\NORAS\\Postfach", "Command", reg::kSz, "line one\r\nline two");
    Put(r, p + "\\NORAS\\Postfach", "Empty", reg::kSz, "");
    Put(r, p + "\\NORAS\\Postfach", "Logfile", reg::kExpandSz, "%TEMP%\\m\xE4il.log");
    Put(r, p + "\\NORAS\\Postfach", "Gr\xFC\xDF \"x\\y\"", reg::kSz, "\xC4\xD6\xDC\xFF");
    Put(r, p + "\\NORAS\\Postfach", "Short", reg::kDword, "\x01\x02");
    Put(r, p + "\\NORAS\\Postfach", "", reg::kSz, "default value");
    std::string blob;
    for (int i = 0; i < 600; ++i) blob += static_cast<char>(i * 7);
    Put(r, p + "\\NORAS\\Postfach", "Blob", reg::kBinary, blob);
    Put(r, p + "\\NORAS\\Postfach", "NoBytes", reg::kBinary, "");
    Put(r, p + "\\NORAS\\Postfach", "Multi", 7, std::string("a\0b\0\0", 5));
    Put(r, p + "\\NORAS\\Postfach", "None", reg::kNone, "");
    Put(r, p + "\\NORAS\\MiXed Case", "x", reg::kDword, DwordBytes(1));
    reg::KeyHolder empty;
    ASSERT_EQ(reg::CreateKey(r, p + "\\volatile", empty.out()), reg::kOk);
    ASSERT_EQ(reg::CreateKey(r, p + "\\a\\b\\c\\d\\e\\f", empty.out()), reg::kOk);
  }

  reg::KeyHolder lm_;
};

TEST_F(FerryregStoreTest, ExportThenImportIntoAFreshHiveReproducesItExactly) {
  FillVariedTree();
  std::vector<KeyDump> original = WholeStore();
  ASSERT_GT(original.size(), 10u);
  std::string file = (Folder() / "all.reg").string();
  RunResult exported = Ferryreg({"export", "hklm\\system", file});
  ASSERT_EQ(exported.code, kExitOk) << exported.err;

  UseHive("fresh.hive");
  ASSERT_EQ(WholeStore().size(), 2u);  // just the two roots
  RunResult imported = Ferryreg({"import", file});
  ASSERT_EQ(imported.code, kExitOk) << imported.err;
  EXPECT_EQ(WholeStore(), original);

  // And the file written from the copy is the same file.
  std::string again = (Folder() / "again.reg").string();
  ASSERT_EQ(Ferryreg({"export", "HKEY_LOCAL_MACHINE\\SYSTEM", again}).code, kExitOk);
  EXPECT_EQ(test::ReadFile(again), test::ReadFile(file));
}

// Keys by folded path, values by folded name: the store's picture without its order.
using Flat = std::map<std::string, std::map<std::string, std::pair<uint32_t, std::string>>>;
Flat Flatten(const std::vector<KeyDump>& keys) {
  Flat flat;
  for (const KeyDump& key : keys) {
    std::string path;
    for (const std::string& part : key.path.parts) path += "\\" + reg::FoldName(part);
    auto& values = flat[path];
    for (const ValueData& v : key.values) values[reg::FoldName(v.name)] = {v.type, v.bytes};
  }
  return flat;
}

// The console's save to another computer: export to the standard output, a
// diff of what was read against what was edited, import of the diff from the
// standard input. Only what differs changes; what was written meanwhile stays.
TEST_F(FerryregStoreTest, ADiffImportedFromStandardInputChangesOnlyWhatDiffers) {
  FillVariedTree();
  const std::string file = (Folder() / "all.reg").string();
  ASSERT_EQ(Ferryreg({"export", "hklm\\system", file}).code, kExitOk);
  RunResult piped = Ferryreg({"export", "hklm\\system", "-"});
  ASSERT_EQ(piped.code, kExitOk) << piped.err;
  EXPECT_EQ(piped.out, test::ReadFile(file));  // the file's text and nothing else

  std::vector<KeyDump> before;
  ASSERT_EQ(ReadTree(lm_.get(), KeyPath{Root::kLocalMachine, {"SYSTEM"}}, true, &before), reg::kOk);
  EXPECT_EQ(WriteRegDiff(before, before).text, std::string(kRegFileHeader) + "\r\n");

  // The edits: a changed text, a changed type, a value gone, a subtree gone,
  // a new key, and a name in other letters with the same data (no change).
  std::vector<KeyDump> after;
  for (const KeyDump& key : before) {
    const std::string last = key.path.parts.back();
    if (key.path.parts.size() >= 7 && key.path.parts[5] == "a" && key.path.parts[6] == "b") continue;
    KeyDump edited = key;
    std::vector<ValueData> values;
    for (ValueData v : key.values) {
      if (v.name == "Empty") continue;
      if (v.name == "POP Host") v.bytes = "pop.new.example";
      if (v.name == "Short") v.type = reg::kBinary;
      if (v.name == "Blob") v.name = "BLOB";
      values.push_back(v);
    }
    edited.values = values;
    after.push_back(edited);
    if (last == "NORAS") {
      KeyDump added{key.path, {{"POP User", reg::kSz, "neu"}}};
      added.path.parts.push_back("Neu");
      after.push_back(added);
    }
  }
  RegFileWrite diff = WriteRegDiff(before, after);
  ASSERT_TRUE(diff.error.empty()) << diff.error;
  const std::string p = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Mailferry Service\\Parameters";
  EXPECT_NE(diff.text.find("\r\n[-" + p + "\\a\\b]\r\n"), std::string::npos) << diff.text;
  EXPECT_EQ(diff.text.find("\\a\\b\\c"), std::string::npos) << "the subtree goes with its top";
  EXPECT_NE(diff.text.find("\r\n\"Empty\"=-\r\n"), std::string::npos) << diff.text;
  EXPECT_EQ(diff.text.find("Blob"), std::string::npos) << diff.text;
  EXPECT_EQ(diff.text.find("BLOB"), std::string::npos) << diff.text;

  // Meanwhile the service writes into the store.
  Put(lm_.get(), p.substr(19) + "\\NORAS\\Postfach", "In Use", reg::kDword, DwordBytes(1));
  Put(lm_.get(), p.substr(19) + "\\volatile", "LastTitle", reg::kSz, "Titel");

  RunResult imported = Ferryreg({"import", "-"}, diff.text);
  ASSERT_EQ(imported.code, kExitOk) << imported.err;
  Flat expected = Flatten(after);
  const std::string folded = "\\SYSTEM\\CURRENTCONTROLSET\\SERVICES\\MAILFERRY SERVICE\\PARAMETERS";
  expected[folded + "\\NORAS\\POSTFACH"]["IN USE"] = {reg::kDword, DwordBytes(1)};
  expected[folded + "\\VOLATILE"]["LASTTITLE"] = {reg::kSz, "Titel"};
  std::vector<KeyDump> now;
  ASSERT_EQ(ReadTree(lm_.get(), KeyPath{Root::kLocalMachine, {"SYSTEM"}}, true, &now), reg::kOk);
  EXPECT_EQ(Flatten(now), expected);
}

TEST_F(FerryregStoreTest, ExportIsReadableByItsOwnerOnly) {
  FillVariedTree();
  std::filesystem::path file = Folder() / "secret.reg";
  ASSERT_EQ(Ferryreg({"export", "HKLM\\SYSTEM", file.string()}).code, kExitOk);
  auto perms = std::filesystem::status(file).permissions();
  EXPECT_EQ(perms & (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
            std::filesystem::perms::none);
}

// A file that is malformed, or touches both roots, is refused whole, naming
// the line; a missing one is a failure.
TEST_F(FerryregStoreTest, RefusedFileChangesNothing) {
  FillVariedTree();
  std::vector<KeyDump> before = WholeStore();
  struct Case {
    const char* name;
    std::string text;
    const char* line;
  };
  const std::vector<Case> cases = {
      {"Malformed",
       "Windows Registry Editor Version 5.00\r\n\r\n[-HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet]\r\n"
       "[HKEY_LOCAL_MACHINE\\Software\\New]\r\n\"a\"=\"b\"\r\n\"c\"=dword:xyz\r\n",
       "line 6"},
      {"BothRoots",
       "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\Software\\A]\n\"a\"=\"b\"\n"
       "[HKEY_CURRENT_USER\\Software\\B]\n",
       "line 4"},
  };
  for (const Case& c : cases) {
    std::filesystem::path file = Folder() / "refused.reg";
    WriteText(file, c.text);
    RunResult r = Ferryreg({"import", file.string()});
    EXPECT_EQ(r.code, kExitBadInput) << c.name;
    EXPECT_NE(r.err.find(c.line), std::string::npos) << c.name << ": " << r.err;
    EXPECT_EQ(WholeStore(), before) << c.name;
  }
  EXPECT_EQ(Ferryreg({"import", (Folder() / "missing.reg").string()}).code, kExitFailed);
}

// A change the store refuses part-way undoes the changes before it.
TEST_F(FerryregStoreTest, StoreFailureMidImportRollsEverythingBack) {
  FillVariedTree();
  std::vector<KeyDump> before = WholeStore();
  KeyPath fresh{Root::kLocalMachine, {"Software", "Fresh"}};
  KeyPath params{Root::kLocalMachine,
                 {"SYSTEM", "CurrentControlSet", "Services", "Mailferry Service", "Parameters"}};
  std::vector<RegOperation> ops{
      {RegOperation::Kind::kDeleteKey, KeyPath{Root::kLocalMachine, {"SYSTEM", "CurrentControlSet"}}, {}, 3},
      {RegOperation::Kind::kCreateKey, fresh, {}, 4},
      {RegOperation::Kind::kSetValue, fresh, {"a", reg::kSz, "b"}, 5},
      {RegOperation::Kind::kCreateKey, params, {}, 6},
      // A value name longer than the store takes: refused by the store.
      {RegOperation::Kind::kSetValue, params, {std::string(kMaxValueNameLength + 1, 'n'), reg::kSz, "x"}, 7},
  };
  ApplyResult result = ApplyOperations(lm_.get(), ops);
  EXPECT_NE(result.code, reg::kOk);
  EXPECT_EQ(result.line, 7);
  EXPECT_EQ(WholeStore(), before);
}

TEST_F(FerryregStoreTest, ImportDeletesSubtreesAndValuesAndSetsTheRest) {
  reg::Key r = lm_.get();
  Put(r, "Software\\Old\\Deep\\Deeper", "x", reg::kSz, "1");
  Put(r, "Software\\Keep", "gone", reg::kSz, "1");
  Put(r, "Software\\Keep", "stays", reg::kSz, "old");
  std::filesystem::path file = Folder() / "change.reg";
  WriteText(file,
            "Windows Registry Editor Version 5.00\n\n"
            "[-HKEY_LOCAL_MACHINE\\Software\\old]\n"
            "[-HKEY_LOCAL_MACHINE\\Software\\NeverWasThere]\n\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Keep]\n"
            "\"GONE\"=-\n"
            "\"missing\"=-\n"
            "\"stays\"=\"new\"\n");
  RunResult run = Ferryreg({"import", file.string()});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  std::vector<KeyDump> after = WholeStore();
  std::vector<KeyDump> expected{
      {KeyPath{Root::kLocalMachine, {}}, {}},
      {KeyPath{Root::kLocalMachine, {"Software"}}, {}},
      {KeyPath{Root::kLocalMachine, {"Software", "Keep"}}, {{"stays", reg::kSz, "new"}}},
      {KeyPath{Root::kCurrentUser, {}}, {}},
  };
  EXPECT_EQ(after, expected);
}

TEST_F(FerryregStoreTest, DeleteAsksAndRemovesTheWholeSubtree) {
  reg::Key r = lm_.get();
  Put(r, "Software\\Tree\\A\\B", "x", reg::kSz, "1");
  Put(r, "Software\\Tree\\C", "y", reg::kSz, "2");
  Put(r, "Software\\Other", "z", reg::kSz, "3");

  RunResult refused = Ferryreg({"delete", "HKLM\\Software\\Tree"}, "");  // end of input: no
  EXPECT_EQ(refused.code, kExitFailed);
  EXPECT_NE(refused.err.find("/f"), std::string::npos);
  RunResult declined = Ferryreg({"delete", "HKLM\\Software\\Tree"}, "no\n");
  EXPECT_EQ(declined.code, kExitFailed);
  reg::KeyHolder probe;
  EXPECT_EQ(reg::OpenKey(r, "Software\\Tree\\A\\B", reg::kRead, probe.out()), reg::kOk);

  RunResult confirmed = Ferryreg({"delete", "HKLM\\software\\TREE"}, "yes\n");
  EXPECT_EQ(confirmed.code, kExitOk) << confirmed.err;
  EXPECT_EQ(reg::OpenKey(r, "Software\\Tree", reg::kRead, probe.out()), reg::kFileNotFound);
  EXPECT_EQ(reg::OpenKey(r, "Software\\Other", reg::kRead, probe.out()), reg::kOk);

  EXPECT_EQ(Ferryreg({"delete", "HKLM\\Software\\Tree", "/f"}).code, kExitFailed);  // gone already

  EXPECT_EQ(Ferryreg({"delete", "HKLM\\Software\\Other", "/v", "z"}).code, kExitFailed);
  EXPECT_EQ(Ferryreg({"delete", "HKLM\\Software\\Other", "/v", "z"}, "y\n").code, kExitOk);
  EXPECT_EQ(Ferryreg({"query", "HKLM\\Software\\Other", "/v", "z"}).code, kExitFailed);
}

TEST_F(FerryregStoreTest, AddOverwritesOnlyWhenConfirmedOrForced) {
  ASSERT_EQ(Ferryreg({"add", "HKLM\\Software\\K", "/v", "n", "/t", "REG_DWORD", "/d", "7"}).code, kExitOk);
  EXPECT_EQ(Ferryreg({"add", "HKLM\\Software\\K", "/v", "N", "/d", "text"}, "").code, kExitFailed);
  ValueData value;
  reg::KeyHolder key;
  ASSERT_EQ(OpenPath(lm_.get(), KeyPath{Root::kLocalMachine, {"Software", "K"}}, &key), reg::kOk);
  ASSERT_EQ(ReadValue(key.get(), "n", &value), reg::kOk);
  EXPECT_EQ(value.type, reg::kDword);
  EXPECT_EQ(value.bytes, DwordBytes(7));

  EXPECT_EQ(Ferryreg({"add", "HKLM\\Software\\K", "/v", "N", "/d", "text", "/f"}).code, kExitOk);
  ASSERT_EQ(ReadValue(key.get(), "n", &value), reg::kOk);
  EXPECT_EQ(value.type, reg::kSz);
  EXPECT_EQ(value.bytes, "text");  // stored without a terminating NUL
}

TEST_F(FerryregStoreTest, QueryListsValuesAndSubkeys) {
  reg::Key r = lm_.get();
  Put(r, "Software\\Q", "Port", reg::kDword, DwordBytes(2000));
  Put(r, "Software\\Q", "Host", reg::kSz, std::string("mail\0junk", 9));
  Put(r, "Software\\Q", "Raw", reg::kBinary, "\x01\xab");
  Put(r, "Software\\Q\\Sub", "x", reg::kSz, "1");
  RunResult q = Ferryreg({"query", "hklm\\software\\q"});
  ASSERT_EQ(q.code, kExitOk) << q.err;
  EXPECT_EQ(q.out,
            "\nHKEY_LOCAL_MACHINE\\software\\q\n"
            "    Host    REG_SZ    mail\n"
            "    Port    REG_DWORD    0x7d0\n"
            "    Raw    REG_BINARY    01AB\n"
            "\n"
            "HKEY_LOCAL_MACHINE\\software\\q\\Sub\n");

  RunResult one = Ferryreg({"query", "HKLM\\Software\\Q", "/v", "port"});
  EXPECT_EQ(one.code, kExitOk);
  EXPECT_NE(one.out.find("    Port    REG_DWORD    0x7d0\n"), std::string::npos) << one.out;

  RunResult all = Ferryreg({"query", "HKLM\\Software\\Q", "/s"});
  EXPECT_NE(all.out.find("HKEY_LOCAL_MACHINE\\Software\\Q\\Sub\n    x    REG_SZ    1\n"), std::string::npos)
      << all.out;

  EXPECT_EQ(Ferryreg({"query", "HKLM\\Software\\Q", "/v", "missing"}).code, kExitFailed);
  EXPECT_EQ(Ferryreg({"query", "HKLM\\Software\\Nope"}).code, kExitFailed);
}

// The credentials the service keeps stay out of an export unless /secrets
// asks for them, and importing such a file leaves the stored ones alone.
TEST_F(FerryregStoreTest, ExportLeavesOutTheOAuthSecretsUnlessAsked) {
  const std::string account = schema::AccountKey("NORAS", "Postfach");
  test::PutString(account, schema::kOAuthRefreshToken, "refresh-secret");
  test::PutString(account, schema::kOAuthAccessToken, "access-secret");
  test::PutString(account, schema::kOAuthClientSecret, "client-secret");
  test::PutString(account, schema::kOAuthClientId, "client-id");
  test::PutString("SYSTEM\\Elsewhere", schema::kOAuthRefreshToken, "not-ours");
  const std::string masked = (Folder() / "masked.reg").string();
  ASSERT_EQ(Ferryreg({"export", "HKLM\\SYSTEM", masked}).code, kExitOk);
  const std::string text = test::ReadFile(masked);
  EXPECT_EQ(text.find("secret"), std::string::npos) << text;
  EXPECT_NE(text.find("client-id"), std::string::npos);
  EXPECT_NE(text.find("not-ours"), std::string::npos);

  const std::string whole = (Folder() / "whole.reg").string();
  ASSERT_EQ(Ferryreg({"export", "HKLM\\SYSTEM", whole, "/secrets"}).code, kExitOk);
  EXPECT_NE(test::ReadFile(whole).find("refresh-secret"), std::string::npos);

  test::PutString(account, schema::kOAuthRefreshToken, "rotated");
  ASSERT_EQ(Ferryreg({"import", masked}).code, kExitOk);
  EXPECT_EQ(test::GetValue(reg::LocalMachine(), account, schema::kOAuthRefreshToken).bytes, "rotated");
}

// A .reg file with the old value names is imported as plain values; the first
// account run then leaves only the current names, holding the stored data.
TEST_F(FerryregStoreTest, OldValueNamesImportedThenMigratedByTheService) {
  std::filesystem::path file = Folder() / "old.reg";
  WriteText(file,
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Mailferry Service\\Parameters\\NORAS]\r\n"
            "\"LogEnabled\"=dword:00000000\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\Mailferry Service\\Parameters\\NORAS\\"
            "Postfach]\r\n"
            "\"EMailHost\"=\"pop.old.example\"\r\n"
            "\"EMailUser\"=\"hans\"\r\n"
            "\"EMailDelete\"=dword:00000001\r\n"
            "\"UDPPort\"=dword:00000bb8\r\n");
  RunResult imported = Ferryreg({"import", file.string()});
  ASSERT_EQ(imported.code, kExitOk) << imported.err;
  CreateAccountSettings("NORAS", "Postfach");

  KeyPath account{Root::kLocalMachine, {"SYSTEM", "CurrentControlSet", "Services", "Mailferry Service", "Parameters",
                                        "NORAS", "Postfach"}};
  reg::KeyHolder key;
  ASSERT_EQ(OpenPath(lm_.get(), account, &key), reg::kOk);
  std::vector<ValueData> values;
  ASSERT_EQ(ReadValues(key.get(), &values), reg::kOk);
  std::map<std::string, std::string> stored;  // name -> bytes
  for (const ValueData& v : values) stored[v.name] = v.bytes;
  for (const char* old : {"EMailHost", "EMailUser", "EMailDelete", "UDPPort"}) EXPECT_EQ(stored.count(old), 0u) << old;
  EXPECT_EQ(stored["POP Host"], "pop.old.example");
  EXPECT_EQ(stored["POP User"], "hans");
  EXPECT_EQ(stored["POP Delete"], DwordBytes(1));
  EXPECT_EQ(stored["UDP Port"], DwordBytes(3000));
}

}  // namespace
}  // namespace ferry::regtool
