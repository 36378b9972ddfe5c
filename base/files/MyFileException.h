#pragma once

// A plain exception value carrying a message. Nothing in CMyFile throws it; it
// is part of the file library's interface for callers that want one.

#include <string>
#include <utility>

class CMyFileException {
 public:
  CMyFileException() : m_strMessage("Unknown Exception!") {}
  explicit CMyFileException(std::string strMessage) : m_strMessage(std::move(strMessage)) {}
  CMyFileException(const CMyFileException&) = default;
  CMyFileException& operator=(const CMyFileException&) = default;
  virtual ~CMyFileException() = default;

  std::string What() const { return m_strMessage; }

 private:
  std::string m_strMessage;
};
