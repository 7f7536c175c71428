#pragma once
// The program's Windows-1252 text in the Win32 controls, which take UTF-16
// (the wide functions): the text shows the same whatever code page the
// machine is set to, and every byte comes back from a control as it went.
#include <windows.h>

#include <string>

namespace bilhetor {

std::wstring Largo(const std::string& texto);
// Characters that Windows-1252 does not have become '?'.
std::string Estreito(const std::wstring& texto);

std::string TextoDe(HWND controle);
void DefinirTexto(HWND controle, const std::string& texto);

}  // namespace bilhetor
