// File and port output on Windows: CreateFileA and WriteFile. A write returns
// when the system has taken the bytes, so nothing is ever busy (EAGAIN) and
// there is nothing to wait for after the last write. The system's error
// codes are handed out as the errno values nearest to them, which the
// messages and the write loop share with Linux.
#include <windows.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <thread>

#include "device/SaidaArquivo.h"

namespace bilhetor {

namespace {

int CodigoErrno(DWORD codigo) {
  switch (codigo) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_NO_DATA:
    case ERROR_BROKEN_PIPE:
      return EPIPE;
    case ERROR_DIRECTORY:
      return EISDIR;
    default:
      return EIO;
  }
}

class TSaidaHandle : public TSaidaArquivo {
 public:
  explicit TSaidaHandle(HANDLE Handle) : handle_(Handle) {}
  ~TSaidaHandle() override { CloseHandle(handle_); }
  TSaidaHandle(const TSaidaHandle&) = delete;
  TSaidaHandle& operator=(const TSaidaHandle&) = delete;

  ssize_t Escrever(const char* Dados, size_t Tamanho, int& Erro) override {
    DWORD escritos = 0;
    const DWORD pedido = Tamanho > 0x40000000u ? 0x40000000u : static_cast<DWORD>(Tamanho);
    if (!WriteFile(handle_, Dados, pedido, &escritos, nullptr)) {
      Erro = CodigoErrno(GetLastError());
      return -1;
    }
    Erro = 0;
    return static_cast<ssize_t>(escritos);
  }

  bool AguardarEscrita(int) override { return true; }

  int64_t AgoraMs() override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  }

  void Dormir(int Ms) override {
    if (Ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(Ms));
  }

 private:
  HANDLE handle_;
};

constexpr DWORD kCompartilhamento = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

std::unique_ptr<TSaidaArquivo> AbrirSaidaArquivo(const std::string& Nome, TAberturaSaida Modo, int& Erro) {
  DWORD acesso = GENERIC_WRITE;
  DWORD criacao = OPEN_EXISTING;
  switch (Modo) {
    case TAberturaSaida::Porta: break;
    // Append access only: every write goes to the end, as O_APPEND does.
    case TAberturaSaida::Acrescentar: acesso = FILE_APPEND_DATA | SYNCHRONIZE; break;
    case TAberturaSaida::Substituir: criacao = CREATE_ALWAYS; break;
  }
  const HANDLE h = CreateFileA(Nome.c_str(), acesso, kCompartilhamento, nullptr, criacao, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    Erro = CodigoErrno(GetLastError());
    return nullptr;
  }
  Erro = 0;
  return std::make_unique<TSaidaHandle>(h);
}

TTipoArquivo TipoArquivo(const std::string& Nome) {
  // Opened without any access to learn what a link leads to; a device or a
  // pipe is not a disk file.
  const HANDLE h = CreateFileA(Nome.c_str(), 0, kCompartilhamento, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD erro = GetLastError();
    return erro == ERROR_FILE_NOT_FOUND || erro == ERROR_PATH_NOT_FOUND || erro == ERROR_INVALID_NAME
               ? TTipoArquivo::Ausente
               : TTipoArquivo::Outro;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const bool disco = GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  return disco && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ? TTipoArquivo::Regular
                                                                          : TTipoArquivo::Outro;
}

void ApagarArquivoPorta(const std::string& Nome) {
  const DWORD atributos = GetFileAttributesA(Nome.c_str());
  if (atributos != INVALID_FILE_ATTRIBUTES && (atributos & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    const HANDLE h = CreateFileA(Nome.c_str(), GENERIC_WRITE, kCompartilhamento, nullptr, TRUNCATE_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    return;
  }
  DeleteFileA(Nome.c_str());
}

bool CriarArquivoNovo(const std::string& Nome, int& Erro) {
  const HANDLE h = CreateFileA(Nome.c_str(), GENERIC_WRITE, kCompartilhamento, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    Erro = CodigoErrno(GetLastError());
    return false;
  }
  CloseHandle(h);
  Erro = 0;
  return true;
}

void RemoverArquivo(const std::string& Nome) { DeleteFileA(Nome.c_str()); }

std::string NomeArquivoPorta(const std::string& Pasta, const std::string& Tipo, int n) {
  return Pasta + "\\" + Tipo + std::to_string(n);
}

std::string PastaDispositivosPadrao() { return "\\\\."; }

}  // namespace bilhetor
