// Durable files on Windows: the C runtime's descriptors in binary mode,
// _commit (FlushFileBuffers) for the flush, and MoveFileEx with write-through
// for the atomic replacement.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "app/ArquivoDuravel.h"
#include "common/ErroSistema.h"

namespace bilhetor {

namespace {

[[noreturn]] void Falha(const std::string& acao, const std::string& caminho, const std::string& motivo) {
  throw EArquivoDuravel(acao + " " + caminho + ": " + motivo);
}

void EscreverTudo(int fd, std::string_view dados, const std::string& caminho) {
  while (!dados.empty()) {
    const unsigned parte = static_cast<unsigned>(std::min<std::size_t>(dados.size(), 1u << 30));
    const int n = ::_write(fd, dados.data(), parte);
    if (n < 0) Falha("N\xE3o foi poss\xEDvel gravar", caminho, std::strerror(errno));
    dados.remove_prefix(static_cast<std::size_t>(n));
  }
}

void CriarPasta(const std::string& caminho) {
  std::error_code ec;
  const auto pasta = std::filesystem::path(caminho).parent_path();
  if (!pasta.empty()) std::filesystem::create_directories(pasta, ec);
}

}  // namespace

TArquivoAnexo::TArquivoAnexo(const std::string& caminho) : caminho_(caminho) {
  CriarPasta(caminho);
  fd_ = ::_open(caminho.c_str(), _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
  if (fd_ < 0) Falha("N\xE3o foi poss\xEDvel abrir", caminho, std::strerror(errno));
  const long long fim = ::_lseeki64(fd_, 0, SEEK_END);
  if (fim > 0) tamanho_ = static_cast<uint64_t>(fim);
}

TArquivoAnexo::~TArquivoAnexo() {
  if (fd_ >= 0) ::_close(fd_);
}

void TArquivoAnexo::Anexar(std::string_view dados, bool duravel) {
  EscreverTudo(fd_, dados, caminho_);
  tamanho_ += dados.size();
  if (duravel && ::_commit(fd_) != 0) Falha("N\xE3o foi poss\xEDvel gravar", caminho_, std::strerror(errno));
}

std::string LerArquivoInteiro(const std::string& caminho) {
  const int fd = ::_open(caminho.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) {
    if (errno == ENOENT) return "";
    Falha("N\xE3o foi poss\xEDvel ler", caminho, std::strerror(errno));
  }
  std::string conteudo;
  char buf[65536];
  for (;;) {
    const int n = ::_read(fd, buf, sizeof buf);
    if (n < 0) {
      const int erro = errno;
      ::_close(fd);
      Falha("N\xE3o foi poss\xEDvel ler", caminho, std::strerror(erro));
    }
    if (n == 0) break;
    conteudo.append(buf, static_cast<std::size_t>(n));
  }
  ::_close(fd);
  return conteudo;
}

bool RenomearSobre(const std::string& de, const std::string& para) {
  return ::MoveFileExA(de.c_str(), para.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void SubstituirArquivo(const std::string& caminho, std::string_view conteudo) {
  CriarPasta(caminho);
  const std::string temporario = caminho + ".novo";
  const int fd = ::_open(temporario.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                         _S_IREAD | _S_IWRITE);
  if (fd < 0) Falha("N\xE3o foi poss\xEDvel criar", temporario, std::strerror(errno));
  try {
    EscreverTudo(fd, conteudo, temporario);
    if (::_commit(fd) != 0) Falha("N\xE3o foi poss\xEDvel gravar", temporario, std::strerror(errno));
  } catch (...) {
    ::_close(fd);
    ::DeleteFileA(temporario.c_str());
    throw;
  }
  ::_close(fd);
  // Write-through: the rename is on the disk when the call returns.
  if (!::MoveFileExA(temporario.c_str(), caminho.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD erro = GetLastError();
    ::DeleteFileA(temporario.c_str());
    Falha("N\xE3o foi poss\xEDvel substituir", caminho, DescricaoErroSistema(erro));
  }
}

}  // namespace bilhetor
