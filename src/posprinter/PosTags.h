#pragma once
// The tag language of the printer engine: the 77 tags, in registration order,
// with their help texts, and the marks the engine's translation compares
// against.
#include <string_view>

#include "posprinter/TagProcessor.h"

namespace bilhetor {

// Registers the tag language on a processor (normally an empty one): six
// batches through RegistrarTags followed by the tags added one by one, so
// each tag's Ordem is its place in the language.
void RegistrarTagsPosPrinter(TTagProcessor& processador);

// The number of tags RegistrarTagsPosPrinter registers.
inline constexpr int cQuantidadeTagsPosPrinter = 77;

// Marks of the tag language. Single tags:
inline constexpr std::string_view cTagLigaExpandido = "<e>";
inline constexpr std::string_view cTagDesligaExpandido = "</e>";
inline constexpr std::string_view cTagLigaAlturaDupla = "<a>";
inline constexpr std::string_view cTagDesligaAlturaDupla = "</a>";
inline constexpr std::string_view cTagLigaNegrito = "<n>";
inline constexpr std::string_view cTagDesligaNegrito = "</n>";
inline constexpr std::string_view cTagLigaSublinhado = "<s>";
inline constexpr std::string_view cTagDesligaSublinhado = "</s>";
inline constexpr std::string_view cTagLigaCondensado = "<c>";
inline constexpr std::string_view cTagDesligaCondensado = "</c>";
inline constexpr std::string_view cTagLigaItalico = "<i>";
inline constexpr std::string_view cTagDesligaItalico = "</i>";
inline constexpr std::string_view cTagFonteNormal = "</fn>";
inline constexpr std::string_view cTagFonteA = "</fa>";
inline constexpr std::string_view cTagFonteB = "</fb>";
inline constexpr std::string_view cTagLigaInvertido = "<in>";
inline constexpr std::string_view cTagDesligaInvertido = "</in>";
inline constexpr std::string_view cTagAlinhadoEsquerda = "</ae>";
inline constexpr std::string_view cTagAlinhadoCentro = "</ce>";
inline constexpr std::string_view cTagAlinhadoDireita = "</ad>";
inline constexpr std::string_view cTagLinhaSimples = "</linha_simples>";
inline constexpr std::string_view cTagLinhaDupla = "</linha_dupla>";
inline constexpr std::string_view cTagPulaLinhas = "</pular_linhas>";
inline constexpr std::string_view cTagLogotipo = "</logo>";
inline constexpr std::string_view cTagCorte = "</corte>";
inline constexpr std::string_view cTagCorteParcial = "</corte_parcial>";
inline constexpr std::string_view cTagCorteTotal = "</corte_total>";
inline constexpr std::string_view cTagAbreGaveta = "</abre_gaveta>";
inline constexpr std::string_view cTagBeep = "</beep>";
inline constexpr std::string_view cTagZera = "</zera>";
inline constexpr std::string_view cTagPulaLinha = "</lf>";
inline constexpr std::string_view cTagRetornoCarro = "</cr>";
inline constexpr std::string_view cTagReset = "</reset>";
inline constexpr std::string_view cTagModoPaginaLiga = "<mp>";
inline constexpr std::string_view cTagModoPaginaDesliga = "</mp>";
inline constexpr std::string_view cTagModoPaginaImprimir = "</mp_imprimir>";
inline constexpr std::string_view cTagModoPaginaConfigurar = "</mp_configurar>";

// Block tags:
inline constexpr std::string_view cTagBlocoDireita = "<ad>";
inline constexpr std::string_view cTagBlocoEsquerda = "<ae>";
inline constexpr std::string_view cTagBlocoCentro = "<ce>";
inline constexpr std::string_view cTagBarraEAN8 = "<ean8>";
inline constexpr std::string_view cTagBarraEAN13 = "<ean13>";
inline constexpr std::string_view cTagBarraStd = "<std>";
inline constexpr std::string_view cTagBarraInter = "<inter>";
inline constexpr std::string_view cTagBarraCode11 = "<code11>";
inline constexpr std::string_view cTagBarraCode39 = "<code39>";
inline constexpr std::string_view cTagBarraCode93 = "<code93>";
inline constexpr std::string_view cTagBarraCode128 = "<code128>";
inline constexpr std::string_view cTagBarraUPCA = "<upca>";
inline constexpr std::string_view cTagBarraUPCE = "<upce>";
inline constexpr std::string_view cTagBarraCodaBar = "<codabar>";
inline constexpr std::string_view cTagBarraMSI = "<msi>";
inline constexpr std::string_view cTagBarraCode128a = "<code128a>";
inline constexpr std::string_view cTagBarraCode128b = "<code128b>";
inline constexpr std::string_view cTagBarraCode128c = "<code128c>";
inline constexpr std::string_view cTagQRCode = "<qrcode>";
inline constexpr std::string_view cTagAbreGavetaEsp = "<abre_gaveta>";
inline constexpr std::string_view cTagBarraMostrar = "<barra_mostrar>";
inline constexpr std::string_view cTagBarraLargura = "<barra_largura>";
inline constexpr std::string_view cTagBarraAltura = "<barra_altura>";
inline constexpr std::string_view cTagQRCodeTipo = "<qrcode_tipo>";
inline constexpr std::string_view cTagQRCodeLargura = "<qrcode_largura>";
inline constexpr std::string_view cTagQRCodeError = "<qrcode_error>";
inline constexpr std::string_view cTagBMP = "<bmp>";
inline constexpr std::string_view cTagModoPaginaDirecao = "<mp_direcao>";
inline constexpr std::string_view cTagModoPaginaPosEsquerda = "<mp_esquerda>";
inline constexpr std::string_view cTagModoPaginaPosTopo = "<mp_topo>";
inline constexpr std::string_view cTagModoPaginaLargura = "<mp_largura>";
inline constexpr std::string_view cTagModoPaginaAltura = "<mp_altura>";
inline constexpr std::string_view cTagModoPaginaEspaco = "<mp_espaco>";
inline constexpr std::string_view cTagLogoImprimir = "<logo_imprimir>";
inline constexpr std::string_view cTagLogoKC1 = "<logo_kc1>";
inline constexpr std::string_view cTagLogoKC2 = "<logo_kc2>";
inline constexpr std::string_view cTagLogoFatorX = "<logo_fatorx>";
inline constexpr std::string_view cTagLogoFatorY = "<logo_fatory>";
inline constexpr std::string_view cTagIgnorarTags = "<ignorar_tags>";

}  // namespace bilhetor
