#include "libs/pkicard/PkiCertInfo.h"

namespace {

void AddElement(std::string& strXml, const char* szName, const std::string& strValue) {
  strXml += '<';
  strXml += szName;
  strXml += '>';
  strXml += XmlEscape(strValue);
  strXml += "</";
  strXml += szName;
  strXml += ">\n";
}

}  // namespace

const char* const kKeyUsageNames[9] = {
    "digitalSignature", "nonRepudiation", "keyEncipherment", "dataEncipherment", "keyAgreement",
    "keyCertSign",      "cRLSign",        "encipherOnly",    "decipherOnly"};

std::string CertInfoXml(const PkiCertInfo& info) {
  std::string strXml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CertInfo>\n";
  AddElement(strXml, "Version", std::to_string(info.m_nVersion));
  AddElement(strXml, "SerialNumber", info.m_strSerial);
  AddElement(strXml, "Subject", info.m_strSubject);
  AddElement(strXml, "SubjectCN", info.m_strSubjectCN);
  AddElement(strXml, "Issuer", info.m_strIssuer);
  AddElement(strXml, "IssuerCN", info.m_strIssuerCN);
  AddElement(strXml, "NotBefore", info.m_strNotBefore);
  AddElement(strXml, "NotAfter", info.m_strNotAfter);
  AddElement(strXml, "SignatureAlgorithm", info.m_strSignatureAlgorithm);
  AddElement(strXml, "PublicKeyAlgorithm", info.m_strKeyAlgorithm);
  AddElement(strXml, "PublicKeyBits", std::to_string(info.m_nKeyBits));
  AddElement(strXml, "KeyUsage", info.m_strKeyUsage);
  AddElement(strXml, "SubjectKeyIdentifier", info.m_strSubjectKeyId);
  AddElement(strXml, "Thumbprint", info.m_strThumbprint);
  AddElement(strXml, "PreferredDigest", std::to_string(info.m_nPreferredDigest));
  strXml += "</CertInfo>\n";
  return strXml;
}

std::string XmlEscape(const std::string& strText) {
  std::string s;
  s.reserve(strText.size());
  for (const char c : strText) {
    switch (c) {
      case '&': s += "&amp;"; break;
      case '<': s += "&lt;"; break;
      case '>': s += "&gt;"; break;
      case '"': s += "&quot;"; break;
      case '\'': s += "&apos;"; break;
      default:
        // Control characters other than tab and line ends are not allowed in
        // XML 1.0, not even as references.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') {
          s += '?';
        } else {
          s += c;
        }
    }
  }
  return s;
}

std::string HexUpper(const unsigned char* p, size_t n) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(n * 2);
  for (size_t i = 0; i < n; ++i) {
    s += kDigits[p[i] >> 4];
    s += kDigits[p[i] & 0x0f];
  }
  return s;
}
