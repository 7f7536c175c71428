#pragma once
// Files that must survive a crash or a power cut: a file that records are
// appended to, each one on the disk once Anexar returns when asked to be
// durable, and the atomic replacement of a whole file. One implementation per
// platform (ArquivoDuravelPosix.cpp, ArquivoDuravelWin32.cpp).
#include <cstdint>
#include <string>
#include <string_view>

#include "common/Exception.h"

namespace bilhetor {

// A file could not be opened, written or replaced; the message names it.
BILHETOR_DECLARE_ERROR(EArquivoDuravel);

class TArquivoAnexo {
 public:
  // Opens the file for appending, creating it (and its folder) when missing.
  explicit TArquivoAnexo(const std::string& caminho);
  ~TArquivoAnexo();
  TArquivoAnexo(const TArquivoAnexo&) = delete;
  TArquivoAnexo& operator=(const TArquivoAnexo&) = delete;

  // Appends the bytes in one write; durable: flushed to the disk before it
  // returns. Raises EArquivoDuravel.
  void Anexar(std::string_view dados, bool duravel);
  uint64_t Tamanho() const { return tamanho_; }

 private:
  std::string caminho_;
  int fd_ = -1;
  uint64_t tamanho_ = 0;
};

// The whole content of a file; empty when it does not exist. Raises
// EArquivoDuravel when it exists and cannot be read.
std::string LerArquivoInteiro(const std::string& caminho);

// Replaces the file's content by `conteudo` so that a crash leaves either the
// old or the new file whole: a temporary file beside it, flushed, renamed over
// it, and the folder flushed; the folder is made when missing. Raises
// EArquivoDuravel.
void SubstituirArquivo(const std::string& caminho, std::string_view conteudo);

// Renames a file over another, which it replaces when there is one (rename;
// MoveFileEx with REPLACE_EXISTING on Windows). False when it failed.
bool RenomearSobre(const std::string& de, const std::string& para);

}  // namespace bilhetor
