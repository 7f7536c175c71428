// Picture files on Windows: the file is opened without any access first, to
// learn what the name leads to, and read only when it is a disk file (not a
// folder, a pipe, a console or a port) within the size limit.
#include <windows.h>

#include "posprinter/ArquivoImagem.h"
#include "posprinter/BmpReader.h"

namespace bilhetor {

namespace {

class THandle {
 public:
  explicit THandle(HANDLE h) : h_(h) {}
  ~THandle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  HANDLE Get() const { return h_; }

 private:
  HANDLE h_;
};

// The size of a regular file; NaoComum for anything else.
uint64_t ConferirArquivo(HANDLE h, const std::string& caminho) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    arquivoimagem::NaoComum(caminho);
  const uint64_t tamanho = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  arquivoimagem::ConferirTamanho(tamanho, caminho);
  return tamanho;
}

constexpr DWORD kCompartilhamento = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

std::string LerArquivoImagem(const std::string& caminho) {
  {
    // No access asked for: even a pipe or a device opens without waiting.
    // FILE_FLAG_BACKUP_SEMANTICS lets a folder open, so it is refused as
    // one and not as a file that cannot be opened.
    const THandle nome(CreateFileA(caminho.c_str(), 0, kCompartilhamento, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (nome.Get() == INVALID_HANDLE_VALUE) arquivoimagem::NaoAbre(caminho);
    ConferirArquivo(nome.Get(), caminho);
  }
  // The file that is read is checked again, as the name may now lead
  // elsewhere.
  const THandle arquivo(CreateFileA(caminho.c_str(), GENERIC_READ, kCompartilhamento, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
  if (arquivo.Get() == INVALID_HANDLE_VALUE) arquivoimagem::NaoAbre(caminho);
  const uint64_t tamanho = ConferirArquivo(arquivo.Get(), caminho);

  return arquivoimagem::LerAteOFim(
      tamanho,
      [&](char* destino, std::size_t pedido) -> int64_t {
        DWORD lidos = 0;
        const DWORD n = pedido > 0x40000000u ? 0x40000000u : static_cast<DWORD>(pedido);
        if (!ReadFile(arquivo.Get(), destino, n, &lidos, nullptr)) return -1;
        return static_cast<int64_t>(lidos);
      },
      caminho);
}

}  // namespace bilhetor
