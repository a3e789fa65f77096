// The importers on files written here from the formats' own rules, one table per format: each
// row a file and the servers (and notes) a user should get from it. Then the bounds on what a
// server may bring, and files meant to hurt.
#include "import/import.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/data_files.h"
#include "support/mremoteng_sealing.h"

namespace korvane::import {

void PrintTo(const ImportedServer& s, std::ostream* os) {
  *os << s.host << " " << s.port << " " << s.user << " " << s.password << " " << s.remark;
}

namespace {

using testing::SealCbc;
using testing::SealGcm;

// UTF-16LE with its byte order mark, as Windows tools save text.
std::string Utf16(const std::string& ascii) {
  std::string wide = "\xFF\xFE";
  for (char c : ascii) wide += std::string{c, '\0'};
  return wide;
}

std::string Hex(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) out += "0123456789ABCDEF"[c >> 4], out += "0123456789ABCDEF"[c & 15];
  return out;
}

// A stand-in for DPAPI: a blob "sealed:" + UTF-16 text opens to it, anything else does not.
std::optional<std::string> FakeUnprotect(const std::string& blob) {
  if (blob.rfind("sealed:", 0) != 0) return std::nullopt;
  return blob.substr(7);
}
std::string Protected(const std::string& ascii) { return "sealed:" + Utf16(ascii).substr(2); }

// The notes, one a line: S(kipped), U(nopened), L(ong remark shortened) or E(rror), then where.
std::string Notes(const ImportResult& result) {
  std::string notes;
  for (const auto& [letter, list] : {std::pair{"S ", &result.skipped}, std::pair{"U ", &result.unopened},
                                     std::pair{"L ", &result.shortened}, std::pair{"E ", &result.errors}}) {
    for (const auto& note : *list) notes += letter + note.where + "\n";
  }
  return notes;
}

struct Case {
  const char* what;
  std::string file;
  std::vector<ImportedServer> servers;
  std::string notes;
  std::optional<std::string> masterPassword = std::nullopt;
  std::size_t derivations = 0;  // 0: not checked
};

void Check(const std::string& name, const Case& c) {
  SCOPED_TRACE(c.what);
  ImportContext context;
  context.unprotect = FakeUnprotect;
  context.askPassword = [&](const std::string&) { return c.masterPassword; };
  context.maxKdfIterations = 1000;  // every GCM file below asks for that many: the limit itself
  const ImportResult result = ReadServersFromBytes(name, c.file, context);
  EXPECT_TRUE(result.recognised);
  EXPECT_EQ(result.servers, c.servers);
  EXPECT_EQ(Notes(result), c.notes);
  if (c.derivations != 0) {
    EXPECT_EQ(result.derivations, c.derivations);
  }
}

// Known answers from outside this project, from mRemoteNG's rules (salt 00…0f, nonce 10…1f,
// 1000 rounds; the salt is also the associated data): "W3b!pass" under "Müller-ß1" given to
// PBKDF2 as its Latin-1 bytes, as mRemoteNG does, and as its UTF-8 bytes, as it never does;
// the check value "ThisIsProtected" under the Latin-1 bytes; and both AES-CBC (IV 20…2f) under
// the MD5 of the UTF-8 password (those three made with Python's cryptography package).
const std::string kMullerValue = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh+VxQDuXTQAnOl5R1PJIR4WKs26U5HtFcY=";
const std::string kMullerUtf8Value = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh/nZIc+MmNcch1PM2RlwOZmKyX6AQiKg98=";
const std::string kMullerCheck = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh+Wngu8ZCYjnTr7Dl9IbRJjX3NdM7C8AhAo3X4IFMhw";
const std::string kMullerCbcCheck = "ICEiIyQlJicoKSorLC0uL0hrz9lxad1mzEZgdnezvn8=";
const std::string kMullerCbcValue = "ICEiIyQlJicoKSorLC0uL7I52VIvgmnGkSn4mGx2pZ8=";
const std::string kGcm = "EncryptionEngine=\"AES\" BlockCipherMode=\"GCM\" KdfIterations=\"1000\" ";

std::string ConfCons(const std::string& root, const std::string& nodes, const std::string& encoding = "utf-8") {
  return "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>\n<mrng:Connections xmlns:mrng=\"http://mremoteng.org\" " +
         root + ">" + nodes + "</mrng:Connections>";
}
std::string Rdp(const std::string& name, const std::string& more) {
  return "<Node Name=\"" + name + "\" Type=\"Connection\" Protocol=\"RDP\" " + more + "/>";
}

TEST(ImportMremoteng, Conformance) {
  const std::string check = "Protected=\"" + SealGcm("mR3m", "ThisIsNotProtected", 1000) + "\" ";
  const std::string muller = ConfCons(kGcm + "Protected=\"" + kMullerCheck + "\"",
                                      Rdp("web-01", "Hostname=\"a\" Password=\"" + kMullerValue + "\"") +
                                          Rdp("web-02", "Hostname=\"b\" Password=\"" + kMullerUtf8Value + "\""));
  const std::string inherit = "InheritUsername=\"True\" InheritDomain=\"True\" InheritPassword=\"True\" InheritPort=\"True\" ";
  const std::string master = "master 口令";  // above U+00FF: mRemoteNG could not seal with it, so UTF-8
  const std::string inner = Rdp("web-01", "Hostname=\"10.0.0.1\" Password=\"" + SealGcm(master, "pw", 1000) + "\"");
  const std::string cbc = ConfCons("Protected=\"" + SealCbc(master, "ThisIsProtected") + "\"",
                                   Rdp("web-01", "Hostname=\"10.0.0.1\" Password=\"" + SealCbc(master, "pw") + "\""));
  const std::string longGroup(1 << 20, 'G');
  const Case cases[] = {
      {"a master password derived as mRemoteNG derives it", muller,
       {{"a", "3389", "", "W3b!pass", "web-01"}, {"b", "3389", "", "", "web-02"}}, "U confCons.xml: web-02\n", "Müller-ß1"},
      {"a wrong master password", muller, {}, "E confCons.xml\n", "Müller-ss1"},
      {"AES-CBC, its key the MD5 of the UTF-8 password",
       ConfCons("Protected=\"" + kMullerCbcCheck + "\"", Rdp("web-01", "Hostname=\"a\" Password=\"" + kMullerCbcValue + "\"")),
       {{"a", "3389", "", "W3b!pass", "web-01"}}, "", "Müller-ß1"},
      {"every sealed value opens, a folder's once for all its servers",
       ConfCons(kGcm + check,
                "<Node Name=\"机房A\" Type=\"Container\" Protocol=\"RDP\" Username=\"ops\" Domain=\"CORP\" Port=\"3390\" "
                "Password=\"" + SealGcm("mR3m", "组密码", 1000, testing::Counting(1)) + "\">" +
                    Rdp("web-01", "Hostname=\"10.0.0.1\" " + inherit) +
                    Rdp("web-02", "Hostname=\"10.0.0.2\" Username=\"ops@corp.local\" InheritDomain=\"True\" InheritPassword=\"True\" "
                                  "InheritPort=\"True\"") +
                    Rdp("db", "Hostname=\"db.corp\" Password=\"" + SealGcm("mR3m", "db pw", 1000, testing::Counting(2)) + "\"") +
                    "<Node Name=\"ssh-01\" Type=\"Connection\" Protocol=\"SSH2\" Hostname=\"10.0.0.9\"/></Node>"),
       {{"10.0.0.1", "3390", "CORP\\ops", "组密码", "机房A/web-01"},
        {"10.0.0.2", "3390", "ops@corp.local", "组密码", "机房A/web-02"},
        {"db.corp", "3389", "", "db pw", "机房A/db"}},
       "S confCons.xml: 机房A/ssh-01\n", std::nullopt, 3},
      {"no Protected attribute: the default password",
       ConfCons(kGcm, Rdp("web-01", "Hostname=\"a\" Password=\"" + SealGcm("mR3m", "pw", 1000) + "\"")),
       {{"a", "3389", "", "pw", "web-01"}}, ""},
      {"one round more than the limit", ConfCons("EncryptionEngine=\"AES\" BlockCipherMode=\"GCM\" KdfIterations=\"1001\"", ""),
       {}, "E confCons.xml\n"},
      {"sealed inside, under a master password above U+00FF",
       ConfCons(kGcm + "FullFileEncryption=\"True\" Protected=\"" + SealGcm(master, "ThisIsProtected", 1000) + "\"",
                SealGcm(master, inner, 1000)),
       {{"10.0.0.1", "3389", "", "pw", "web-01"}}, "", master},
      {"sealed whole, before 2.6", SealCbc(master, cbc), {{"10.0.0.1", "3389", "", "pw", "web-01"}}, "", master},
      {"UTF-16 with a byte order mark", Utf16(ConfCons("", Rdp("web-01", "Hostname=\"a\" Port=\"3391\""), "utf-16")),
       {{"a", "3391", "", "", "web-01"}}, ""},
      {"a folder name of a megabyte, a host name too long",
       ConfCons("", "<Node Name=\"机房A\" Type=\"Container\"><Node Name=\"" + longGroup + "\" Type=\"Container\">" +
                        Rdp("web-01", "Hostname=\"a\"") + Rdp("web-02", "Hostname=\"" + std::string(256, 'h') + "\"") +
                        "</Node></Node>"),
       {{"a", "3389", "", "", "机房A/…/web-01"}}, "S confCons.xml: 机房A/…/web-02\nL confCons.xml: 机房A/…/web-01\n"},
  };
  for (const auto& c : cases) Check("confCons.xml", c);
}

TEST(ImportMremoteng, StoppedWhileOpeningEndsWithAnErrorInsteadOfServersWithoutPasswords) {
  const std::string check = "Protected=\"" + SealGcm("mR3m", "ThisIsNotProtected", 1000) + "\"";
  std::string nodes;
  for (const char* host : {"a", "b", "c"}) nodes += Rdp(host, std::string("Hostname=\"") + host + "\" Password=\"" + SealGcm("mR3m", "pw", 1000) + "\"");
  ImportContext context;
  context.maxKdfIterations = 1000;
  context.stopped = [] { return true; };
  const ImportResult result = ReadServersFromBytes("confCons.xml", ConfCons(kGcm + check, nodes), context);
  ASSERT_EQ(result.errors.size(), 1u);
}

// RDCMan 2.2: a group's credentials taken by web-01, db.corp's own (and a gateway's, which are
// not its own) and its own port, far.corp's password another user's. 2.7 keeps the same in
// properties and a credentials profile.
const std::string kRdg22 = R"(<?xml version="1.0" encoding="utf-8"?>
<RDCMan schemaVersion="1"><version>2.2</version><file><properties><name>All</name></properties>
<group><properties><name>机房A</name><logonCredentials inherit="None"><userName>ops</userName>
<password storeAsClearText="True">  two blanks  </password><domain>CORP</domain></logonCredentials></properties>
<server><name>web01.corp</name><displayName>web-01</displayName><logonCredentials inherit="FromParent"/></server>
<server><name>db.corp</name><logonCredentials inherit="None"><userName>sa</userName><password storeAsClearText="False">DBPW</password>
<domain/></logonCredentials><connectionSettings inherit="None"><port>3390</port></connectionSettings>
<gatewaySettings inherit="None"><userName>gw</userName><password storeAsClearText="True">gw</password></gatewaySettings></server>
<server><name>far.corp</name><logonCredentials inherit="None"><userName>x</userName><password>Zm9yZWlnbg==</password></logonCredentials></server>
</group></file></RDCMan>)";

const std::string kRdg27 = R"(<?xml version="1.0" encoding="utf-8"?>
<RDCMan programVersion="2.7" schemaVersion="3"><file><credentialsProfiles><credentialsProfile inherit="None">
<profileName scope="Local">ops</profileName><userName>ops</userName><password storeAsClearText="True">  two blanks  </password>
<domain>CORP</domain></credentialsProfile></credentialsProfiles><properties><name>All</name></properties>
<group><properties><name>机房A</name></properties><logonCredentials inherit="None"><profileName scope="File">ops</profileName></logonCredentials>
<server><properties><displayName>web-01</displayName><name>web01.corp</name></properties></server>
<server><properties><name>db.corp</name></properties><logonCredentials inherit="None"><profileName scope="Local">Custom</profileName>
<userName>sa</userName><password>DBPW</password><domain/></logonCredentials><connectionSettings inherit="None"><port>3390</port></connectionSettings>
<gatewaySettings inherit="None"><userName>gw</userName><password>gw</password></gatewaySettings></server>
<server><properties><name>far.corp</name></properties><logonCredentials inherit="None"><userName>x</userName><password>Zm9yZWlnbg==</password></logonCredentials></server>
</group></file></RDCMan>)";

std::string Rdg(std::string rdg) {
  return rdg.replace(rdg.find("DBPW"), 4, testing::Base64(Protected("db pw")));
}

TEST(ImportRdcman, Conformance) {
  const std::vector<ImportedServer> three = {{"web01.corp", "3389", "CORP\\ops", "  two blanks  ", "机房A/web-01"},
                                             {"db.corp", "3390", "sa", "db pw", "机房A/db.corp"},
                                             {"far.corp", "3389", "x", "", "机房A/far.corp"}};
  std::string rdg3 = kRdg27;
  rdg3.replace(rdg3.find("2.7"), 3, "3.1");
  const std::string one = "<RDCMan programVersion=\"2.7\" schemaVersion=\"3\"><file><group><properties><name>G</name>"
                          "</properties><connectionSettings inherit=\"None\"><port>3390</port></connectionSettings>"
                          "<server><properties><name>s</name></properties><connectionSettings inherit=\"None\">"
                          "<connectToConsole>True</connectToConsole></connectionSettings><logonCredentials inherit=\"None\">"
                          "<userName>ops@corp.local</userName><domain>CORP</domain></logonCredentials></server></group></file></RDCMan>";
  // Profiles of one name in the file and in the group: the group's, the nearer, is taken.
  const std::string profile = "<credentialsProfile inherit=\"None\"><profileName>ops</profileName><userName>";
  const std::string nearest = "<RDCMan programVersion=\"2.7\" schemaVersion=\"3\"><file><credentialsProfiles>" + profile +
                              "far</userName></credentialsProfile></credentialsProfiles><group><properties><name>G</name>"
                              "</properties><credentialsProfiles>" + profile + "near</userName></credentialsProfile>"
                              "</credentialsProfiles><server><properties><name>s</name></properties><logonCredentials "
                              "inherit=\"None\"><profileName>ops</profileName></logonCredentials></server></group></file></RDCMan>";
  const Case cases[] = {
      {"2.2", Rdg(kRdg22), three, "U servers.rdg: 机房A/far.corp\n"},
      {"the nearest profile of a name", nearest, {{"s", "3389", "near", "", "G/s"}}, ""},
      {"2.7", Rdg(kRdg27), three, "U servers.rdg: 机房A/far.corp\n"},
      {"3.1", Rdg(rdg3), three, "U servers.rdg: 机房A/far.corp\n"},
      {"settings without a port; a user that names its domain", one, {{"s", "3389", "ops@corp.local", "", "G/s"}}, ""},
      {"UTF-16 with a byte order mark", Utf16("<?xml version=\"1.0\" encoding=\"utf-16\"?>" + one),
       {{"s", "3389", "ops@corp.local", "", "G/s"}}, ""},
  };
  for (const auto& c : cases) Check("servers.rdg", c);
}

TEST(ImportRdp, Conformance) {
  const std::string password = "password 51:b:" + Hex(Protected("rdp pw") + std::string(3, '\0')) + "\r\n";
  const Case cases[] = {
      {"UTF-16, a domain apart, a saved password",
       Utf16("screen mode id:i:2\r\nfull address:s:10.0.0.5\r\nusername:s:ops\r\ndomain:s:CORP\r\n" + password),
       {{"10.0.0.5", "3389", "CORP\\ops", "rdp pw", "web-01"}}, ""},
      {"a user that names its domain", "full address:s:a\r\nusername:s:ops@corp.local\r\ndomain:s:CORP\r\n",
       {{"a", "3389", "ops@corp.local", "", "web-01"}}, ""},
      {"a blank before the port", "full address:s:a: 3391\r\n", {{"a", "3391", "", "", "web-01"}}, ""},
      {"the address's port wins", "server port:i:3392\r\nfull address:s:a:3391\r\n", {{"a", "3391", "", "", "web-01"}}, ""},
      {"server port alone", "full address:s:a\r\nserver port:i:3392\r\n", {{"a", "3392", "", "", "web-01"}}, ""},
      {"IPv6 with a port", "full address:s:[fe80::1]:3390\r\n", {{"fe80::1", "3390", "", "", "web-01"}}, ""},
      {"bare IPv6", "full address:s:fe80::1\r\n", {{"fe80::1", "3389", "", "", "web-01"}}, ""},
      {"another user's password", "full address:s:a\r\npassword 51:b:00FF\r\n", {{"a", "3389", "", "", "web-01"}},
       "U web-01.rdp: web-01\n"},
      // Listed as good.example, stored with the rest: a connect would go elsewhere.
      {"a NUL in the host", Utf16("full address:s:good.example" + std::string(1, '\0') + "evil.example\r\n"), {},
       "S web-01.rdp: web-01\n"},
      {"an escape in the user", "full address:s:a\r\nusername:s:o\x1bps\r\n", {}, "S web-01.rdp: web-01\n"},
  };
  for (const auto& c : cases) Check("web-01.rdp", c);

  // In a folder, the extension is told without regard to case, and other files are left alone.
  const testing::TempDir dir("korvane import rdp");
  std::ofstream(dir.path() / u8"Web.RDP", std::ios::binary) << "full address:s:10.0.0.6\r\n";
  std::ofstream(dir.path() / u8"notes.txt", std::ios::binary) << "full address:s:not.this\r\n";
  ImportContext context;
  const ImportResult result = ReadServers(testing::Utf8(dir.path()), context);
  EXPECT_EQ(result.servers, std::vector<ImportedServer>({{"10.0.0.6", "3389", "", "", "Web"}}));
}

// A connection file that does not decode is named as a broken connection file (UTF-16 from
// mstsc with a lone surrogate, UTF-8 with a stray byte), and text that a byte order mark calls
// UTF-16 as broken text: never measured against a CSV's fields.
TEST(ImportRdp, TextThatDoesNotDecodeIsNamedAsWhatItWasMeantToBe) {
  const std::string highAlone("\x00\xD8", 2), lowAlone("\x00\xDC", 2);
  const std::pair<std::string, std::string> cases[] = {
      {Utf16("full address:s:a\r\nusername:s:") + highAlone + Utf16("x\r\n").substr(2), "Remote Desktop file"},
      {"full address:s:a\r\nusername:s:\xFF\r\n", "Remote Desktop file"},
      {Utf16("a,b\r\n") + lowAlone, "text"},
  };
  for (const auto& [bytes, source] : cases) {
    ImportContext context;
    const ImportResult result = ReadServersFromBytes("web-01.rdp", bytes, context);
    EXPECT_TRUE(result.recognised);
    EXPECT_EQ(result.source, source);
    EXPECT_EQ(Notes(result), "E web-01.rdp\n");
  }
}

// Closing the preview stops the reading: each kind ends at once with an error and no server,
// so that nothing of it is written.
TEST(ImportStopped, AFolderAnRdcmanFileAndACsvEndWithAnErrorAndNoServer) {
  const testing::TempDir dir("korvane import stopped");
  for (const char* name : {"a.rdp", "b.rdp"}) std::ofstream(dir.path() / name, std::ios::binary) << "full address:s:a\r\n";
  ImportContext context;
  context.stopped = [] { return true; };
  const ImportResult results[] = {ReadServers(testing::Utf8(dir.path()), context),
                                  ReadServersFromBytes("s.rdg", kRdg22, context),
                                  ReadServersFromBytes("s.csv", "host,port,user,password,remark\r\na,1,u,p,r\r\n", context)};
  for (const ImportResult& result : results) {
    EXPECT_EQ(result.errors.size(), 1u) << result.source;
    EXPECT_TRUE(result.servers.empty()) << result.source;
  }
}

// Names as a file may bring them, and whether UTF-8 (RFC 3629) allows their bytes: a slip in
// the ranges refuses full-width punctuation, the four-byte characters, or lets through bytes
// that no window can show.
TEST(ImportText, Utf8IsTakenWithinTheStandardsRanges) {
  const std::pair<std::string, bool> cases[] = {
      {"机房（一）：Web，01", true},  // EF BC 88 is U+FF08 "（"
      {"\xEF\xBF\xBF", true},        // U+FFFF
      {"\xF0\x90\x80\x80", true},    // U+10000
      {"\xF4\x8F\xBF\xBF", true},    // U+10FFFF, the last
      {"\xF4\x90\x80\x80", false},   // past U+10FFFF
      {"\xF5\x80\x80\x80", false},   // F5 starts no character
      {"\xF0\x8F\xBF\xBF", false},   // U+FFFF in four bytes
      {"\xED\xA0\x80", false},       // U+D800, a surrogate
      {"\xC1\xBF", false},           // "\x7F" in two bytes
  };
  for (const auto& [name, valid] : cases) {
    ImportContext context;
    const ImportResult result =
        ReadServersFromBytes("s.csv", "host,port,user,password,remark\r\na,1,u,p," + name + "\r\n", context);
    EXPECT_EQ(result.servers.size(), valid ? 1u : 0u) << ::testing::PrintToString(name);
  }
}

// What a CSV row may bring, at each limit and one past it.
TEST(ImportLimits, AtTheLimitTakenOnePastLeftOut) {
  ImportResult result;
  const std::string longName = std::string(1000, 'x');
  result.servers = {{std::string(255, 'h'), "65535", std::string(512, 'u'), std::string(768, 'p'), "at"},
                    {std::string(256, 'h'), "3389", "", "", "host"},
                    {"a", "3389", std::string(513, 'u'), "", "user"},
                    {"a", "3389", "", std::string(769, 'p'), "password"},
                    {"a", "65536", "", "", "port"},
                    {"a", "0", "", "", "port 0"},
                    {"a", "33a9", "", "", "port 33a9"},
                    {"a", "99999999999999999999", "", "", "port of 20 digits"},
                    {"a", " 03389 ", "", "", "机房A/" + std::string(30, 'g') + "/" + longName}};
  ApplyLimits("servers.csv", result);
  ASSERT_EQ(result.servers.size(), 2u);
  EXPECT_EQ(result.servers[0].remark, "at");
  EXPECT_EQ(result.servers[1].port, "3389");
  EXPECT_EQ(result.servers[1].remark, "机房A/…/" + longName);
  EXPECT_EQ(Notes(result), "S servers.csv: host\nS servers.csv: user\nS servers.csv: password\nS servers.csv: port\n"
                           "S servers.csv: port 0\nS servers.csv: port 33a9\nS servers.csv: port of 20 digits\n"
                           "L servers.csv: 机房A/…/" + longName + "\n");
}

TEST(ImportHostileFiles, RefusedWithoutServersOrHanging) {
  // Ten entities, each ten of the one before: ten thousand million letters from one reference.
  std::string laughs = "<!DOCTYPE RDCMan [<!ENTITY a \"aaaaaaaaaa\">";
  for (char e = 'b'; e <= 'k'; ++e) {
    laughs += std::string("<!ENTITY ") + e + " \"";
    for (int i = 0; i < 10; ++i) laughs += std::string("&") + char(e - 1) + ";";
    laughs += "\">";
  }
  std::string deep, tiny;
  for (int i = 0; i < 300; ++i) deep = "<group>" + deep + "</group>";
  for (int i = 0; i < 200'000; ++i) tiny += "<group/>";
  const std::string cases[] = {
      laughs + "]><RDCMan><file><server><name>&k;</name></server></file></RDCMan>",
      "<!DOCTYPE RDCMan [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><RDCMan><file><server><name>&x;</name></server></file></RDCMan>",
      "<RDCMan><file>" + std::string(3000, '<') + "</file></RDCMan>",
      "<RDCMan><file>" + deep + "</file></RDCMan>",
      "<RDCMan><file>" + tiny + "</file></RDCMan>",  // a tree twenty times the file
      "<Connections BlockCipherMode=\"GCM\" KdfIterations=\"4000000000\" Protected=\"x\"/>",
      "<?xml version=\"1.0\"?>\n<Connections Name=\"Connections\"><Node Name=\"cut short",
  };
  for (const auto& file : cases) {
    ImportContext context;
    const ImportResult result = ReadServersFromBytes("bad", file, context);
    EXPECT_TRUE(result.recognised) << file.substr(0, 80);
    EXPECT_FALSE(result.errors.empty()) << file.substr(0, 80);
    EXPECT_TRUE(result.servers.empty());
  }
  // A file of no kind is no server list, and says what a CSV would have needed; an exported
  // CSV is one.
  ImportContext context;
  const ImportResult notes = ReadServersFromBytes("notes.txt", "milk, bread\r\n", context);
  EXPECT_FALSE(notes.recognised);
  EXPECT_FALSE(notes.errors.empty());
  EXPECT_TRUE(ReadServersFromBytes("servers.csv", "host,port,user,password,remark\r\n", context).recognised);
}

}  // namespace
}  // namespace korvane::import
