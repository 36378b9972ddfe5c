#include "PkiCardFixture.h"

#include <cstring>
#include <filesystem>

#include <p11-kit/p11-kit.h>

namespace fs = std::filesystem;

namespace {

// Made once by the first test that needs it; removed at exit.
struct CMaterialHolder {
  CMaterialHolder() {
    const std::string d = m_dir.Str();
    WriteFile(m_dir.Join("leaf.ext"),
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
    // Every test's SetUp points the library at a copy of its own afterwards.
    UseSoftHsm(d, m_dir.Join("tokens"), kTokenLabel);
    for (const char* szCommand : kCommands) {
      EXPECT_EQ(0, RunIn(d, szCommand))
          << szCommand << "\n" << ReadFile(d + "/last-command.log");
    }
  }
  CTempDir m_dir{"pkicard-test"};
};

}  // namespace

std::string MaterialFile(const std::string& strName) {
  static CMaterialHolder s_holder;
  return s_holder.m_dir.Join(strName);
}

void PkiCardTest::SetUp() {
  ASSERT_TRUE(m_dir.Ok());
  fs::copy(MaterialFile("tokens"), m_dir.Join("tokens"), fs::copy_options::recursive);
  UseSoftHsm(m_dir.Str(), m_dir.Join("tokens"), kTokenLabel);
  setenv("PKICARD_TRUST_STORE", MaterialFile("ca.pem").c_str(), 1);
}

CSharedModule::CSharedModule() {
  m_pModule = p11_kit_module_load(kSoftHsmModule, P11_KIT_MODULE_UNMANAGED);
  if (m_pModule == nullptr) return;
  const CK_RV rv = m_pModule->C_Initialize(nullptr);
  if (rv == CKR_OK) m_pModule->C_Finalize(nullptr);  // nobody had it: not shared
  if (rv != CKR_CRYPTOKI_ALREADY_INITIALIZED) return;
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

CSharedModule::~CSharedModule() {
  if (m_pModule == nullptr) return;
  if (m_hSession != CK_INVALID_HANDLE) m_pModule->C_CloseSession(m_hSession);
  p11_kit_module_release(m_pModule);
}

std::string CSharedModule::TokenSerial() const {
  CK_TOKEN_INFO info{};
  if (!Ok() || m_pModule->C_GetTokenInfo(m_nSlot, &info) != CKR_OK) return std::string();
  std::string s(reinterpret_cast<char*>(info.serialNumber), sizeof info.serialNumber);
  return s.substr(0, s.find_last_not_of(' ') + 1);
}
