// The sign that a copy of the program runs, on Windows: a named mutex after
// the main window's class in the session's namespace ("Local\TfrmBilhetor").
// The system closes it when the process ends, however it ends. The folders
// of the lock file of other platforms are not used.
#include <windows.h>

#include "app/Plataforma.h"
#include "common/ErroSistema.h"

namespace bilhetor {

TInstanciaUnica::TInstanciaUnica(const std::string& nome) : TInstanciaUnica(nome, "", "") {}

TInstanciaUnica::TInstanciaUnica(const std::string& nome, const std::string&, const std::string&) {
  arquivo_ = "Local\\" + nome;
  HANDLE mutex = CreateMutexA(nullptr, FALSE, arquivo_.c_str());
  const DWORD erro = GetLastError();
  if (!mutex) {
    // A name taken by another kind of object, or by another user's object.
    if (erro == ERROR_ACCESS_DENIED || erro == ERROR_INVALID_HANDLE) {
      emUso_ = true;
      return;
    }
    erro_ = arquivo_ + ": " + DescricaoErroSistema(erro);
    return;
  }
  if (erro == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    emUso_ = true;
    return;
  }
  trava_ = reinterpret_cast<std::intptr_t>(mutex);
}

TInstanciaUnica::~TInstanciaUnica() {
  if (trava_ != kSemTrava) CloseHandle(reinterpret_cast<HANDLE>(trava_));
}

}  // namespace bilhetor
