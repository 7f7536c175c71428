// The window's media player: the sound file checked on disk, nothing played.
#include "app/Plataforma.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace bilhetor {

namespace {

uint32_t LE4(const char* p) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

}  // namespace

void TMediaPlayerArquivo::Abrir(const std::string& Arquivo) {
  const auto naoWave = [&](const std::string& motivo) {
    return EMediaPlayer("O arquivo de som " + Arquivo + " n\xE3o \xE9 um arquivo WAVE: " + motivo);
  };
  std::error_code ec;
  if (std::filesystem::is_directory(Arquivo, ec)) throw naoWave("\xE9 uma pasta");
  std::ifstream in(Arquivo, std::ios::binary);
  if (!in)
    throw EMediaPlayer("N\xE3o foi poss\xEDvel abrir o arquivo de som " + Arquivo + ": " + std::strerror(errno));
  char cabecalho[12];
  if (!in.read(cabecalho, sizeof cabecalho) || std::string(cabecalho, 4) != "RIFF" ||
      std::string(cabecalho + 8, 4) != "WAVE")
    throw naoWave("sem o cabe\xE7" "alho RIFF/WAVE");
  // The chunks that follow: a "fmt " of at least 16 bytes and a "data" chunk,
  // each whole within the file (a chunk of odd size is followed by one byte
  // of padding).
  const auto tamanho = std::filesystem::file_size(Arquivo, ec);
  if (ec) throw naoWave(ec.message());
  bool formato = false, dados = false;
  uint64_t posicao = sizeof cabecalho;
  char bloco[8];
  while (!(formato && dados) && posicao + sizeof bloco <= tamanho) {
    in.seekg(static_cast<std::streamoff>(posicao));
    if (!in.read(bloco, sizeof bloco)) break;
    const uint64_t n = LE4(bloco + 4);
    if (posicao + sizeof bloco + n > tamanho) throw naoWave("bloco " + std::string(bloco, 4) + " cortado");
    const std::string nome(bloco, 4);
    if (nome == "fmt ") {
      if (n < 16) throw naoWave("bloco fmt curto");
      formato = true;
    } else if (nome == "data") {
      dados = true;
    }
    posicao += sizeof bloco + n + (n & 1);
  }
  if (!formato) throw naoWave("sem o bloco fmt");
  if (!dados) throw naoWave("sem o bloco data");
}

}  // namespace bilhetor
