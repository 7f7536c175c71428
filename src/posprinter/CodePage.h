#pragma once
// Printer code pages: the conversion of the engine's Windows-1252 text to the
// code page of the printer, and the folding to plain ASCII used when the
// printer has no code page set. The single-byte tables and the UTF-8 table
// are generated code (tools/gen_codepages) following the Windows code pages;
// a character the target page cannot represent becomes "?".
#include <string>
#include <string_view>

#include "posprinter/PosTypes.h"

namespace bilhetor {

// The Windows code page number that serves a printer code page: 0 for pcNone,
// 437, 850, 852, 860, 65001 (UTF-8) or 1252.
int CodigoPaginaWindows(TPosPaginaCodigo Pagina);

// Folds Windows-1252 text to plain ASCII: accented letters to their base
// letter (Ação -> Acao), then every byte that is not BS, LF, CR or 20..7E
// becomes a blank. The length never changes.
std::string TextoParaAscii(std::string_view Texto);

// Converts Windows-1252 text to the Windows code page CodigoPagina (437, 850,
// 852, 860, 1252 or 65001). Raises EPosPrinterException for any other page.
std::string ConverterPaginaDeCodigo(std::string_view Texto, int CodigoPagina);

// The conversion the engine applies before translating tags: to the printer's
// code page, or TextoParaAscii for pcNone.
std::string CodificarPaginaDeCodigo(std::string_view Texto, TPosPaginaCodigo Pagina);

// The code pages ConverterPaginaDeCodigo knows.
bool PaginaDeCodigoSuportada(int CodigoPagina);

}  // namespace bilhetor
