#include "base/sockets/SocketException.h"

CSocketException::CSocketException() : m_strMessage("Unknown Exception!") {}

CSocketException::CSocketException(const std::string& strMessage) : m_strMessage(strMessage) {}

CSocketException::CSocketException(const CSocketException& other) = default;

CSocketException& CSocketException::operator=(const CSocketException& other) = default;

CSocketException::~CSocketException() = default;

std::string CSocketException::What() const { return m_strMessage; }

CLocalSocketException::CLocalSocketException() = default;

CLocalSocketException::CLocalSocketException(const std::string& strMessage)
    : CSocketException(strMessage) {}

CLocalSocketException::CLocalSocketException(const CLocalSocketException& other) = default;

CLocalSocketException& CLocalSocketException::operator=(const CLocalSocketException& other) =
    default;
