#pragma once
// Reading a picture file (LerArquivoImagem): what each platform's
// implementation (BmpReaderPosix.cpp, BmpReaderWin32.cpp) shares, the
// messages of its errors and the read loop under the size limit.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace bilhetor::arquivoimagem {

// EInvalidGraphic with the messages of LerArquivoImagem.
[[noreturn]] void NaoAbre(const std::string& caminho);
[[noreturn]] void NaoComum(const std::string& caminho);
[[noreturn]] void Grande(const std::string& caminho);
// Grande when tamanho is past kTamanhoMaximoArquivoImagem.
void ConferirTamanho(uint64_t tamanho, const std::string& caminho);

// Reads an open file to its end through ler (the bytes read, 0 at the end, -1
// on a failure, which raises "Erro lendo o arquivo"), starting with room for
// tamanho bytes, the size the file had when opened. A file that grows past
// the limit while it is read raises Grande.
std::string LerAteOFim(uint64_t tamanho, const std::function<int64_t(char*, std::size_t)>& ler,
                       const std::string& caminho);

}  // namespace bilhetor::arquivoimagem
