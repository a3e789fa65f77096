// The importers on files written here from the formats' own rules: mRemoteNG sealed every way
// it seals, RDCMan in each schema, .rdp files in both encodings, and files meant to hurt.
#include "datatool/import/import.h"

#include <gtest/gtest.h>

#include <fstream>

#include "datatool/import/mremoteng_crypto.h"
#include "support/data_files.h"
#include "support/mremoteng_sealing.h"

namespace korvane::import {

void PrintTo(const ImportedServer& s, std::ostream* os) {
  *os << s.host << " " << s.port << " " << s.user << " " << s.password << " " << s.remark;
}

namespace {

using testing::SealCbc;
using testing::SealGcm;

std::string Utf16(const std::string& ascii) {
  std::string wide;
  for (char c : ascii) wide += std::string{c, '\0'};
  return wide;
}

// A stand-in for DPAPI: a blob "sealed:" + text opens to the text, anything else does not.
ImportContext FakeWindows() {
  ImportContext context;
  context.unprotect = [](const std::string& blob) -> std::optional<std::string> {
    if (blob.rfind("sealed:", 0) != 0) return std::nullopt;
    return blob.substr(7);
  };
  return context;
}

TEST(ImportCrypto, KnownAnswersOpenAndOthersDoNot) {
  const std::string gcm = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh+uz8d4sTNaXr0HOVjlPwIR242YEwJN5jdxDvqLIqzPGtjj";
  const std::string cbc = "ICEiIyQlJicoKSorLC0uLzhUL5SjWhb5G0BTdpIhKrx3HmLmi+G0VUZWAA6koa4a";
  const mremoteng::Sealing gcmSealing{mremoteng::Cipher::AesGcm, 1000}, cbcSealing{mremoteng::Cipher::AesCbc, 0};
  EXPECT_EQ(mremoteng::Open(gcmSealing, "mR3m", gcm), "ThisIsNotProtected");
  EXPECT_EQ(mremoteng::Open(cbcSealing, "mR3m", cbc), "ThisIsNotProtected");
  // The sealing the other tests write their files with gives the same values.
  EXPECT_EQ(SealGcm("mR3m", "ThisIsNotProtected", 1000), gcm);
  EXPECT_EQ(SealCbc("mR3m", "ThisIsNotProtected"), cbc);
  EXPECT_FALSE(mremoteng::Open(gcmSealing, "mR3M", gcm));
  EXPECT_FALSE(mremoteng::Open({mremoteng::Cipher::AesGcm, 999}, "mR3m", gcm));
  std::string changed = gcm;
  changed[60] = changed[60] == 'A' ? 'B' : 'A';
  EXPECT_FALSE(mremoteng::Open(gcmSealing, "mR3m", changed));
  EXPECT_FALSE(mremoteng::Open(cbcSealing, "mR3m", cbc.substr(0, 40)));
}

struct Sealed {
  bool gcm;
  std::string password;
  bool wholeFile;
  std::string Seal(const std::string& plain) const { return gcm ? SealGcm(password, plain, 1000) : SealCbc(password, plain); }
};

std::string ConfCons(const Sealed& s, const std::string& nodes) {
  const bool sealedInside = s.wholeFile && s.gcm;
  std::string file = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<mrng:Connections xmlns:mrng=\"http://mremoteng.org\" "
                     "Name=\"Connections\" EncryptionEngine=\"AES\" ";
  file += s.gcm ? "BlockCipherMode=\"GCM\" KdfIterations=\"1000\" ConfVersion=\"2.6\" " : "ConfVersion=\"2.5\" ";
  file += std::string("FullFileEncryption=\"") + (sealedInside ? "True" : "False") + "\" Protected=\"" +
          s.Seal(s.password == "mR3m" ? "ThisIsNotProtected" : "ThisIsProtected") + "\">";
  file += (sealedInside ? s.Seal(nodes) : nodes) + "</mrng:Connections>";
  return s.wholeFile && !s.gcm ? s.Seal(file) : file;
}

TEST(ImportMremoteng, EverySealingOpensUnderTheDefaultAndAMasterPassword) {
  for (const bool gcm : {true, false}) {
    for (const std::string password : {"mR3m", "master 口令"}) {
      for (const bool wholeFile : {false, true}) {
        const Sealed s{gcm, password, wholeFile};
        SCOPED_TRACE(std::string(gcm ? "GCM " : "CBC ") + password + (wholeFile ? " whole file" : ""));
        const std::string file = ConfCons(s, "<Node Name=\"机房A\" Type=\"Container\"><Node Name=\"web-01\" "
                                             "Type=\"Connection\" Protocol=\"RDP\" Hostname=\"10.1.1.1\" Password=\"" +
                                                 s.Seal("Pa$$ 密码") + "\"/></Node>");
        for (const std::string& answer : {password, std::string("wrong")}) {
          int asked = 0;
          ImportContext context;
          context.askPassword = [&](const std::string&) { return ++asked, std::optional<std::string>(answer); };
          const ImportResult result = ReadServersFromBytes("confCons.xml", file, context);
          EXPECT_EQ(asked, password == "mR3m" ? 0 : 1);
          if (answer == password) {
            EXPECT_TRUE(result.errors.empty());
            EXPECT_EQ(result.servers, std::vector<ImportedServer>({{"10.1.1.1", "3389", "", "Pa$$ 密码", "机房A/web-01"}}));
          } else if (password != "mR3m") {
            EXPECT_EQ(result.errors.size(), 1u);
            EXPECT_TRUE(result.servers.empty());
          }
        }
      }
    }
  }
}

TEST(ImportMremoteng, FieldsInheritUpTheTreeAndOnlyRdpIsTaken) {
  const Sealed s{true, "mR3m", false};
  const std::string inherit = "InheritUsername=\"True\" InheritDomain=\"True\" InheritPassword=\"True\" InheritPort=\"True\" ";
  const std::string nodes =
      "<Node Name=\"机房A\" Type=\"Container\" Protocol=\"RDP\" Username=\"ops\" Domain=\"CORP\" Port=\"3390\" Password=\"" +
      s.Seal("组密码") + "\"><Node Name=\"Web\" Type=\"Container\" Username=\"not this\" " + inherit +
      "><Node Name=\"web-01\" Type=\"Connection\" Protocol=\"RDP\" Hostname=\"10.0.0.1\" Port=\"1\" " + inherit +
      "/><Node Name=\"ssh-01\" Type=\"Connection\" Protocol=\"SSH2\" Hostname=\"10.0.0.2\"/></Node>"
      "<Node Name=\"db\" Type=\"Connection\" Protocol=\"RDP\" InheritProtocol=\"True\" Hostname=\"db.corp\" "
      "Username=\"sa\" Domain=\"\" Port=\"3389\" Password=\"\"/></Node>";
  std::pair<size_t, size_t> lastProgress;
  ImportContext context;
  context.progress = [&](size_t done, size_t total) { lastProgress = {done, total}; };
  const ImportResult result = ReadServersFromBytes("confCons.xml", ConfCons(s, nodes), context);
  EXPECT_EQ(result.servers, std::vector<ImportedServer>({{"10.0.0.1", "3390", "CORP\\ops", "组密码", "机房A/Web/web-01"},
                                                          {"db.corp", "3389", "sa", "", "机房A/db"}}));
  ASSERT_EQ(result.skipped.size(), 1u);
  EXPECT_EQ(result.skipped[0].where, "confCons.xml: 机房A/Web/ssh-01");
  EXPECT_EQ(lastProgress, std::make_pair(size_t{1}, size_t{1}));
}

// One group with two servers: web-01 takes the group's credentials, db.corp has its own (and a
// gateway's, which are not its own) and its own port, far.corp's password is another user's.
const std::string kRdg22 = R"(<?xml version="1.0" encoding="utf-8"?>
<RDCMan schemaVersion="1"><version>2.2</version><file><properties><name>All</name></properties>
<group><properties><name>机房A</name><logonCredentials inherit="None"><userName>ops</userName>
<password storeAsClearText="True">组 pw</password><domain>CORP</domain></logonCredentials></properties>
<server><name>web01.corp</name><displayName>web-01</displayName><logonCredentials inherit="FromParent"/></server>
<server><name>db.corp</name><logonCredentials inherit="None"><userName>sa</userName><password storeAsClearText="False">DBPW</password>
<domain/></logonCredentials><connectionSettings inherit="None"><port>3390</port></connectionSettings>
<gatewaySettings inherit="None"><userName>gw</userName><password storeAsClearText="True">gw</password></gatewaySettings></server>
<server><name>far.corp</name><logonCredentials inherit="None"><userName>x</userName><password>Zm9yZWlnbg==</password></logonCredentials></server>
</group></file></RDCMan>)";

const std::string kRdg27 = R"(<?xml version="1.0" encoding="utf-8"?>
<RDCMan programVersion="2.7" schemaVersion="3"><file><credentialsProfiles><credentialsProfile inherit="None">
<profileName scope="Local">ops</profileName><userName>ops</userName><password storeAsClearText="True">组 pw</password>
<domain>CORP</domain></credentialsProfile></credentialsProfiles><properties><name>All</name></properties>
<group><properties><name>机房A</name></properties><logonCredentials inherit="None"><profileName scope="File">ops</profileName></logonCredentials>
<server><properties><displayName>web-01</displayName><name>web01.corp</name></properties></server>
<server><properties><name>db.corp</name></properties><logonCredentials inherit="None"><profileName scope="Local">Custom</profileName>
<userName>sa</userName><password>DBPW</password><domain/></logonCredentials><connectionSettings inherit="None"><port>3390</port></connectionSettings>
<gatewaySettings inherit="None"><userName>gw</userName><password>gw</password></gatewaySettings></server>
<server><properties><name>far.corp</name></properties><logonCredentials inherit="None"><userName>x</userName><password>Zm9yZWlnbg==</password></logonCredentials></server>
</group></file></RDCMan>)";

TEST(ImportRdcman, EverySchemaGivesTheSameServers) {
  std::string rdg3 = kRdg27;
  rdg3.replace(rdg3.find("2.7"), 3, "3.1");
  const std::string dbPassword = testing::Base64("sealed:" + Utf16("db pw"));
  for (std::string rdg : {kRdg22, kRdg27, rdg3}) {
    SCOPED_TRACE(rdg.substr(39, 50));
    rdg.replace(rdg.find("DBPW"), 4, dbPassword);
    ImportContext context = FakeWindows();
    const ImportResult result = ReadServersFromBytes("servers.rdg", rdg, context);
    EXPECT_TRUE(result.errors.empty());
    EXPECT_EQ(result.servers, std::vector<ImportedServer>({{"web01.corp", "3389", "CORP\\ops", "组 pw", "机房A/web-01"},
                                                            {"db.corp", "3390", "sa", "db pw", "机房A/db.corp"},
                                                            {"far.corp", "3389", "x", "", "机房A/far.corp"}}));
    ASSERT_EQ(result.unopened.size(), 1u);
    EXPECT_EQ(result.unopened[0].where, "servers.rdg: 机房A/far.corp");
  }
}

TEST(ImportRdp, AFolderOfFilesInEitherEncoding) {
  const testing::TempDir dir("korvane import rdp");
  auto hex = [](const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) out += "0123456789ABCDEF"[c >> 4], out += "0123456789ABCDEF"[c & 15];
    return out;
  };
  std::ofstream(dir.path() / u8"web-01.rdp", std::ios::binary)
      << "\xFF\xFE" + Utf16("screen mode id:i:2\r\nfull address:s:10.0.0.5:3391\r\nusername:s:CORP\\ops\r\n"
                            "password 51:b:" + hex("sealed:" + Utf16("rdp pw") + std::string(3, '\0')) + "\r\n");
  std::ofstream(dir.path() / u8"机房B db.rdp", std::ios::binary)
      << "\xEF\xBB\xBF" "full address:s:[fe80::1]\r\nserver port:i:3392\r\nusername:s:sa\r\npassword 51:b:00FF\r\n";
  std::ofstream(dir.path() / u8"notes.txt") << "full address:s:not.this\r\n";
  ImportContext context = FakeWindows();
  const ImportResult result = ReadServers(testing::Utf8(dir.path()), context);
  EXPECT_TRUE(result.errors.empty());
  EXPECT_EQ(result.servers, std::vector<ImportedServer>({{"10.0.0.5", "3391", "CORP\\ops", "rdp pw", "web-01"},
                                                          {"fe80::1", "3392", "sa", "", "机房B db"}}));
  EXPECT_EQ(result.unopened.size(), 1u);
}

TEST(ImportHostileFiles, RefusedWithoutServersOrHanging) {
  // Ten entities, each ten of the one before: ten thousand million letters from one reference.
  std::string laughs = "<!DOCTYPE RDCMan [<!ENTITY a \"aaaaaaaaaa\">";
  for (char e = 'b'; e <= 'k'; ++e) {
    laughs += std::string("<!ENTITY ") + e + " \"";
    for (int i = 0; i < 10; ++i) laughs += std::string("&") + char(e - 1) + ";";
    laughs += "\">";
  }
  std::string deep;
  for (int i = 0; i < 300; ++i) deep = "<group>" + deep + "</group>";
  const std::string cases[] = {
      laughs + "]><RDCMan><file><server><name>&k;</name></server></file></RDCMan>",
      "<!DOCTYPE RDCMan [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><RDCMan><file><server><name>&x;</name></server></file></RDCMan>",
      "<RDCMan><file>" + std::string(3000, '<') + "</file></RDCMan>",
      "<RDCMan><file>" + deep + "</file></RDCMan>",
      "<Connections BlockCipherMode=\"GCM\" KdfIterations=\"4000000000\" Protected=\"x\"/>",
  };
  for (const auto& file : cases) {
    ImportContext context;
    const ImportResult result = ReadServersFromBytes("bad", file, context);
    EXPECT_TRUE(result.recognised) << file.substr(0, 80);
    EXPECT_FALSE(result.errors.empty()) << file.substr(0, 80);
    EXPECT_TRUE(result.servers.empty());
  }
  ImportContext context;
  EXPECT_FALSE(ReadServersFromBytes("servers.csv", "host,port,user,password,remark\r\n", context).recognised);
}

}  // namespace
}  // namespace korvane::import
