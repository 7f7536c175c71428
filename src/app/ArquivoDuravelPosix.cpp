#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "app/ArquivoDuravel.h"

namespace bilhetor {

namespace {

[[noreturn]] void Falha(const std::string& acao, const std::string& caminho, int erro) {
  throw EArquivoDuravel(acao + " " + caminho + ": " + std::strerror(erro));
}

void EscreverTudo(int fd, std::string_view dados, const std::string& caminho) {
  while (!dados.empty()) {
    const ssize_t n = ::write(fd, dados.data(), dados.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      Falha("N\xE3o foi poss\xEDvel gravar", caminho, errno);
    }
    dados.remove_prefix(static_cast<std::size_t>(n));
  }
}

void SincronizarPasta(const std::string& caminho) {
  const std::string pasta = std::filesystem::path(caminho).parent_path().string();
  const int fd = ::open(pasta.empty() ? "." : pasta.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

TArquivoAnexo::TArquivoAnexo(const std::string& caminho) : caminho_(caminho) {
  std::error_code ec;
  const auto pasta = std::filesystem::path(caminho).parent_path();
  if (!pasta.empty()) std::filesystem::create_directories(pasta, ec);
  fd_ = ::open(caminho.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
  if (fd_ < 0) Falha("N\xE3o foi poss\xEDvel abrir", caminho, errno);
  struct stat st {};
  if (::fstat(fd_, &st) == 0) tamanho_ = static_cast<uint64_t>(st.st_size);
  // A new file is not really there until its folder entry is on the disk.
  SincronizarPasta(caminho);
}

TArquivoAnexo::~TArquivoAnexo() {
  if (fd_ >= 0) ::close(fd_);
}

void TArquivoAnexo::Anexar(std::string_view dados, bool duravel) {
  EscreverTudo(fd_, dados, caminho_);
  tamanho_ += dados.size();
  if (duravel && ::fdatasync(fd_) != 0) Falha("N\xE3o foi poss\xEDvel gravar", caminho_, errno);
}

std::string LerArquivoInteiro(const std::string& caminho) {
  const int fd = ::open(caminho.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return "";
    Falha("N\xE3o foi poss\xEDvel ler", caminho, errno);
  }
  std::string conteudo;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int erro = errno;
      ::close(fd);
      Falha("N\xE3o foi poss\xEDvel ler", caminho, erro);
    }
    if (n == 0) break;
    conteudo.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return conteudo;
}

bool RenomearSobre(const std::string& de, const std::string& para) {
  return ::rename(de.c_str(), para.c_str()) == 0;
}

void SubstituirArquivo(const std::string& caminho, std::string_view conteudo) {
  std::error_code ec;
  const auto pasta = std::filesystem::path(caminho).parent_path();
  if (!pasta.empty()) std::filesystem::create_directories(pasta, ec);
  const std::string temporario = caminho + ".novo";
  const int fd = ::open(temporario.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0640);
  if (fd < 0) Falha("N\xE3o foi poss\xEDvel criar", temporario, errno);
  try {
    EscreverTudo(fd, conteudo, temporario);
    if (::fsync(fd) != 0) Falha("N\xE3o foi poss\xEDvel gravar", temporario, errno);
  } catch (...) {
    ::close(fd);
    ::unlink(temporario.c_str());
    throw;
  }
  ::close(fd);
  if (::rename(temporario.c_str(), caminho.c_str()) != 0) {
    const int erro = errno;
    ::unlink(temporario.c_str());
    Falha("N\xE3o foi poss\xEDvel substituir", caminho, erro);
  }
  SincronizarPasta(caminho);
}

}  // namespace bilhetor
