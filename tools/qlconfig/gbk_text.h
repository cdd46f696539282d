// UTF-8 <-> GBK for the operator tool: operators edit configuration text in UTF-8, the launcher
// reads GBK (code page 936).
#pragma once

#include <string>

namespace qlconfig {

// False when the input is not valid in its encoding or has a character GBK cannot hold.
bool Utf8ToGbk(const std::string& utf8, std::string& gbk);
bool GbkToUtf8(const std::string& gbk, std::string& utf8);

// UTF-8 <-> the wide text the launcher's readers hand out (UTF-16 on Windows, UTF-32 elsewhere).
std::wstring Utf8ToWide(const std::string& utf8);
std::string WideToUtf8(const std::wstring& wide);

}  // namespace qlconfig
