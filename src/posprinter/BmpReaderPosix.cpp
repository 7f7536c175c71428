// Picture files on Linux: stat before the open, so that a FIFO or a device
// is never opened, and fstat of what was opened.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "posprinter/ArquivoImagem.h"
#include "posprinter/BmpReader.h"

namespace bilhetor {

namespace {

// Refuses what is not a regular file of at most kTamanhoMaximoArquivoImagem
// bytes.
void ConferirArquivo(const struct stat& estado, const std::string& caminho) {
  if (!S_ISREG(estado.st_mode)) arquivoimagem::NaoComum(caminho);
  if (estado.st_size < 0) arquivoimagem::Grande(caminho);
  arquivoimagem::ConferirTamanho(static_cast<uint64_t>(estado.st_size), caminho);
}

class TDescritor {
 public:
  explicit TDescritor(int fd) : fd_(fd) {}
  ~TDescritor() { ::close(fd_); }
  TDescritor(const TDescritor&) = delete;
  TDescritor& operator=(const TDescritor&) = delete;
  int Fd() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::string LerArquivoImagem(const std::string& caminho) {
  // Checked by name first: opening a FIFO with no writer would block.
  struct stat estado {};
  if (::stat(caminho.c_str(), &estado) != 0) arquivoimagem::NaoAbre(caminho);
  ConferirArquivo(estado, caminho);

  // O_NONBLOCK keeps the open from blocking should the name have become a
  // FIFO since; the open file is checked again, as the name may now lead
  // elsewhere.
  const int fd = ::open(caminho.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) arquivoimagem::NaoAbre(caminho);
  const TDescritor arquivo(fd);
  if (::fstat(arquivo.Fd(), &estado) != 0) arquivoimagem::NaoAbre(caminho);
  ConferirArquivo(estado, caminho);

  return arquivoimagem::LerAteOFim(
      static_cast<uint64_t>(estado.st_size),
      [&](char* destino, std::size_t tamanho) -> int64_t {
        for (;;) {
          const ssize_t n = ::read(arquivo.Fd(), destino, tamanho);
          if (n < 0 && errno == EINTR) continue;
          return n;
        }
      },
      caminho);
}

}  // namespace bilhetor
