// The serial port search on Windows: the COM ports the system knows, none of
// them opened (opening a port raises its DTR and RTS lines, which a device
// on the line sees, and fails anyway while another program holds it).
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "device/Device.h"

namespace bilhetor {

namespace {

// Highest COM number the serial port search looks at.
constexpr int kUltimaPortaSerial = 256;

// The COM numbers the serial drivers published in the device map
// (HARDWARE\DEVICEMAP\SERIALCOMM: device name -> "COMn").
void PortasPublicadas(std::vector<int>& numeros) {
  HKEY chave = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &chave) != ERROR_SUCCESS)
    return;
  for (DWORD i = 0;; ++i) {
    char nome[256];
    char valor[256];
    DWORD tamanhoNome = sizeof nome;
    DWORD tamanhoValor = sizeof valor - 1;
    DWORD tipo = 0;
    const LONG r = RegEnumValueA(chave, i, nome, &tamanhoNome, nullptr, &tipo, reinterpret_cast<BYTE*>(valor),
                                 &tamanhoValor);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r != ERROR_SUCCESS || tipo != REG_SZ) continue;
    valor[tamanhoValor] = '\0';
    numeros.push_back(TSerialPort::ComPortNumber(valor));
  }
  RegCloseKey(chave);
}

// The COM numbers among the system's device names (virtual ports that no
// driver published are there too).
void PortasComNome(std::vector<int>& numeros) {
  std::vector<char> nomes(1 << 16);
  DWORD n = 0;
  for (;;) {
    n = QueryDosDeviceA(nullptr, nomes.data(), static_cast<DWORD>(nomes.size()));
    if (n != 0 || GetLastError() != ERROR_INSUFFICIENT_BUFFER || nomes.size() >= (1u << 24)) break;
    nomes.resize(nomes.size() * 4);
  }
  for (const char* p = nomes.data(); p < nomes.data() + n && *p != '\0'; p += std::strlen(p) + 1)
    numeros.push_back(TSerialPort::ComPortNumber(p));
}

}  // namespace

void TDevice::AcharPortasSeriais(std::vector<std::string>& Lista, int UltimaPorta) {
  EscreveLog("AcharPortasSeriais(" + std::to_string(UltimaPorta) + ")");
  Lista.clear();
  const int ultima = std::min(UltimaPorta, kUltimaPortaSerial);
  if (ultima < 1) return;
  std::vector<int> numeros;
  PortasPublicadas(numeros);
  PortasComNome(numeros);
  std::sort(numeros.begin(), numeros.end());
  numeros.erase(std::unique(numeros.begin(), numeros.end()), numeros.end());
  for (const int n : numeros) {
    if (n >= 1 && n <= ultima) Lista.push_back("COM" + std::to_string(n));
  }
}

}  // namespace bilhetor
