#include "PkiCardFixture.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/wait.h>

#include <p11-kit/p11-kit.h>

#include "tests/support/TestFiles.h"

namespace fs = std::filesystem;

Bytes ReadFileBytes(const std::string& strPath) { return AsBytes(ReadFile(strPath)); }
void WriteFileBytes(const std::string& strPath, const Bytes& data) {
  WriteFile(strPath, std::string(data.begin(), data.end()));
}
void WriteFileText(const std::string& strPath, const std::string& strText) { WriteFile(strPath, strText); }
Bytes AsBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

std::string Hex(const Bytes& data) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  for (unsigned char c : data) {
    s += kDigits[c >> 4];
    s += kDigits[c & 0x0f];
  }
  return s;
}

Bytes FromHex(const std::string& strHex) {
  Bytes out;
  for (size_t i = 0; i + 1 < strHex.size(); i += 2) {
    out.push_back(static_cast<unsigned char>(std::stoi(strHex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') {
      q += "'\\''";
    } else {
      q += c;
    }
  }
  return q + "'";
}

int RunIn(const std::string& strDir, const std::string& strCommand) {
  const std::string strFull = "cd " + ShellQuote(strDir) + " && ( " + strCommand + " ) > " +
                              ShellQuote(strDir + "/last-command.log") + " 2>&1";
  const int nStatus = std::system(strFull.c_str());
  if (nStatus == -1 || !WIFEXITED(nStatus)) return -1;
  return WEXITSTATUS(nStatus);
}

namespace {

void MustRun(const std::string& strDir, const std::string& strCommand) {
  const int nStatus = RunIn(strDir, strCommand);
  if (nStatus != 0) {
    const Bytes log = ReadFileBytes(strDir + "/last-command.log");
    ADD_FAILURE() << "command failed (" << nStatus << "): " << strCommand << "\n"
                  << std::string(log.begin(), log.end());
  }
}

void WriteSoftHsmConf(const std::string& strConf, const std::string& strTokenDir) {
  WriteFileText(strConf, "directories.tokendir = " + strTokenDir +
                             "\nobjectstore.backend = file\nlog.level = ERROR\n");
}

// Made once by the first test that needs it; removed at exit.
class CMaterialHolder {
 public:
  CMaterialHolder() {
    m_material.m_strDir = m_dir.Str();
    const std::string d = m_dir.Str();
    WriteFileText(m_dir.Join("leaf.ext"),
                  "basicConstraints=CA:FALSE\n"
                  "keyUsage=digitalSignature,nonRepudiation,keyEncipherment\n"
                  "subjectKeyIdentifier=hash\n");
    const char* const kCommands[] = {
        // Trust anchor.
        "openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out ca.key",
        "openssl req -x509 -new -key ca.key -subj /CN=Test\\ Root/O=Tolvan -days 3650 "
        "-addext basicConstraints=critical,CA:TRUE -addext keyUsage=keyCertSign,cRLSign -out ca.pem",
        // RSA-2048 and P-256 signers issued by it.
        "openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out rsa.key",
        "openssl req -new -key rsa.key -subj /CN=Rsa\\ Signer/O=Tolvan -out rsa.csr",
        "openssl x509 -req -in rsa.csr -CA ca.pem -CAkey ca.key -set_serial 0x1001 -days 365 "
        "-extfile leaf.ext -out rsa.pem",
        "openssl x509 -in rsa.pem -outform DER -out rsa.der",
        "openssl pkey -in rsa.key -pubout -out rsa.pub",
        "openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out ec.key",
        "openssl req -new -key ec.key -subj /CN=Ec\\ Signer/O=Tolvan -out ec.csr",
        "openssl x509 -req -in ec.csr -CA ca.pem -CAkey ca.key -set_serial 0x1002 -days 365 "
        "-extfile leaf.ext -out ec.pem",
        "openssl x509 -in ec.pem -outform DER -out ec.der",
        "openssl pkey -in ec.key -pubout -out ec.pub",
        // Expired: issued by the CA with its notAfter a day before now.
        "openssl x509 -req -in ec.csr -CA ca.pem -CAkey ca.key -set_serial 0x1003 -days -1 "
        "-extfile leaf.ext -outform DER -out expired.der",
        // A self-signed stranger.
        "openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out other.key",
        "openssl req -x509 -new -key other.key -subj /CN=Stranger -days 365 "
        "-addext subjectKeyIdentifier=hash -out other.pem",
        "openssl x509 -in other.pem -outform DER -out other.der",
        // SM2, P-384, and a subject with XML special characters.
        "openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:SM2 -out sm2.key",
        "openssl req -x509 -new -key sm2.key -sm3 -sigopt distid:1234567812345678 "
        "-subj /CN=Sm2\\ Signer -days 365 -out sm2.pem",
        "openssl x509 -in sm2.pem -outform DER -out sm2.der",
        "openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-384 -out p384.key",
        "openssl req -x509 -new -key p384.key -subj /CN=P384 -days 365 -outform DER -out p384.der",
        "openssl req -x509 -new -key ec.key -subj '/CN=A<b> & \"c\"/O=X&Y' -days 365 "
        "-outform DER -out odd.der",
        // The template tokens.
        "mkdir -p tokens",
        "softhsm2-util --init-token --free --label T1 --so-pin 5678 --pin 1234",
        "softhsm2-util --init-token --free --label Spare --so-pin 5678 --pin 1234",
        "softhsm2-util --import rsa.key --token T1 --label rsakey --id 01 --pin 1234",
        "softhsm2-util --import ec.key --token T1 --label eckey --id 02 --pin 1234",
        "pkcs11-tool --module /usr/lib/softhsm/libsofthsm2.so --token-label T1 --login --pin 1234 "
        "--write-object rsa.der --type cert --label RSA_SIG --id 01",
        "pkcs11-tool --module /usr/lib/softhsm/libsofthsm2.so --token-label T1 --login --pin 1234 "
        "--write-object ec.der --type cert --label EC_SIG --id 02",
    };
    WriteSoftHsmConf(m_dir.Join("softhsm2.conf"), m_dir.Join("tokens"));
    const std::string strEnv = "SOFTHSM2_CONF=" + ShellQuote(m_dir.Join("softhsm2.conf")) + " ";
    for (const char* szCommand : kCommands) MustRun(d, strEnv + szCommand);
  }
  const PkiMaterial& Get() const { return m_material; }

 private:
  CTempDir m_dir{"pkicard-test"};
  PkiMaterial m_material;
};

}  // namespace

const PkiMaterial& Material() {
  static CMaterialHolder s_holder;
  return s_holder.Get();
}

void PkiCardTest::SetUp() {
  ASSERT_TRUE(m_dir.Ok());
  const PkiMaterial& material = Material();
  fs::copy(material.File("tokens"), m_dir.Join("tokens"), fs::copy_options::recursive);
  WriteSoftHsmConf(ConfPath(), m_dir.Join("tokens"));
  setenv("SOFTHSM2_CONF", ConfPath().c_str(), 1);
  setenv("PKICARD_MODULE", kSoftHsmModule, 1);
  setenv("PKICARD_TOKEN_LABEL", kTokenLabel, 1);
  unsetenv("PKICARD_TOKEN_SERIAL");
  setenv("PKICARD_TRUST_STORE", material.File("ca.pem").c_str(), 1);
  // No INI beside the library takes part unless a test writes one.
  setenv("PKICARD_INI", m_dir.Join("absent.ini").c_str(), 1);
}

void PkiCardTest::TearDown() { pkiEnd(); }

CTestModule::CTestModule() {
  m_pModule = p11_kit_module_load(kSoftHsmModule, 0);
  if (m_pModule == nullptr) return;
  if (p11_kit_module_initialize(m_pModule) != CKR_OK) return;
  m_bInitialised = true;
  CK_SLOT_ID slots[16];
  CK_ULONG nSlots = 16;
  if (m_pModule->C_GetSlotList(CK_TRUE, slots, &nSlots) != CKR_OK) return;
  for (CK_ULONG i = 0; i < nSlots; ++i) {
    CK_TOKEN_INFO info{};
    if (m_pModule->C_GetTokenInfo(slots[i], &info) != CKR_OK) continue;
    if (std::strncmp(reinterpret_cast<char*>(info.label), "T1 ", 3) == 0) {
      m_nSlot = slots[i];
      m_pModule->C_OpenSession(m_nSlot, CKF_SERIAL_SESSION, nullptr, nullptr, &m_hSession);
      return;
    }
  }
}

CTestModule::~CTestModule() {
  if (m_pModule == nullptr) return;
  if (m_hSession != CK_INVALID_HANDLE) m_pModule->C_CloseSession(m_hSession);
  if (m_bInitialised) p11_kit_module_finalize(m_pModule);
  p11_kit_module_release(m_pModule);
}

CK_STATE CTestModule::SessionState() const {
  CK_SESSION_INFO info{};
  if (m_pModule->C_GetSessionInfo(m_hSession, &info) != CKR_OK) return ~CK_STATE(0);
  return info.state;
}

bool CTestModule::Login(const char* szPin) const {
  return m_pModule->C_Login(m_hSession, CKU_USER,
                            reinterpret_cast<CK_UTF8CHAR_PTR>(const_cast<char*>(szPin)),
                            std::strlen(szPin)) == CKR_OK;
}

std::string CTestModule::TokenSerial() const {
  CK_TOKEN_INFO info{};
  if (m_pModule->C_GetTokenInfo(m_nSlot, &info) != CKR_OK) return std::string();
  std::string s(reinterpret_cast<char*>(info.serialNumber), sizeof info.serialNumber);
  return s.substr(0, s.find_last_not_of(' ') + 1);
}
