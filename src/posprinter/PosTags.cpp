#include "posprinter/PosTags.h"

#include <string>
#include <vector>

namespace bilhetor {

namespace {

// Help texts are Windows-1252 text, like every text of the engine.

void RegistrarUma(TTagProcessor& p, const char* marca, const char* ajuda, bool bloco) {
  TTag& t = p.Registro.NovaTag();
  t.SetMarca(marca);
  t.Descricao = ajuda;
  t.Bloco = bloco;
}

}  // namespace

void RegistrarTagsPosPrinter(TTagProcessor& p) {
  // Single tags: font attributes.
  p.RegistrarTags(
      {"<e>", "</e>", "<a>", "</a>", "<n>", "</n>", "<s>", "</s>", "<c>", "</c>", "<i>", "</i>", "</fn>"},
      {
          "Liga Expandido",
          "Desliga Expandido",
          "Liga Altura Dupla",
          "Desliga Altura Dupla",
          "Liga Negrito",
          "Desliga Negrito",
          "Liga Sublinhado",
          "Desliga Sublinhado",
          "Liga Condensado",
          "Desliga Condensado",
          "Liga Italico",
          "Desliga Italico",
          "Fonte Normal",
      },
      false);
  // Single tags: font type, inversion, alignment that stays in force.
  p.RegistrarTags(
      {"</fa>", "</fb>", "<in>", "</in>", "</ae>", "</ce>", "</ad>"},
      {
          "Liga Fonte Tipo A (normal)",
          "Liga Fonte Tipo B (condensada)",
          "Liga Fonte Invertida (Fundo Preto)",
          "Desliga Fonte Invertida",
          "Liga Alinhamento a Esquerda",
          "Liga Alinhamento ao Centro",
          "Liga Alinhamento a Direita",
      },
      false);
  // Single tags: lines.
  p.RegistrarTags(
      {"</linha_simples>", "</linha_dupla>", "</pular_linhas>"},
      {
          "Imprime Linha Simples",
          "Imprime Linha Dupla",
          "Pula N Linhas de acordo com propriedade do componente",
      },
      false);
  // Single tags: functions.
  p.RegistrarTags(
      {"</logo>", "</corte>", "</corte_parcial>", "</corte_total>", "</abre_gaveta>", "</beep>", "</zera>", "</lf>", "</cr>", "</reset>"},
      {
          "Imprime Logotipo j\xE1 gravado na Impressora (use utilit\xE1rio do fabricante)",
          "Efetua Corte, conforme configura\xE7\xE3o de \"TipoCorte\"",
          "Efetua Corte Parcial no Papel (n\xE3o disponivel em alguns modelos)",
          "Efetua Corte Total no papel",
          "Aciona a abertura da Gaveta de Dinheiro",
          "Emite um Beep na Impressora (n\xE3o disponivel em alguns modelos)",
          "Reseta as configura\xE7\xF5" "es de Fonte Alinhamento.<LF>Ajusta P\xE1gina de C\xF3" "digo e Espa\xE7o entre Linhas",
          "Pula para a pr\xF3pxima linha",
          "Retorna para o Inicio da Linha",
          "Reseta as configura\xE7\xF5" "es de Fonte Alinhamento",
      },
      false);
  // Block tags: alignment of the enclosed text.
  p.RegistrarTags(
      {"<ad>", "<ae>", "<ce>"},
      {
          "Texto Alinhado a Direita",
          "Texto Alinhado a Esquerda",
          "Texto Centralizado",
      },
      true);
  // Block tags: barcodes; the enclosed text is the code.
  p.RegistrarTags(
      {"<ean8>", "<ean13>", "<std>", "<inter>", "<code11>", "<code39>", "<code93>", "<code128>", "<upca>", "<upce>", "<codabar>", "<msi>", "<code128a>", "<code128b>", "<code128c>", "<qrcode>"},
      {
          "Cod.Barras EAN8 - 7 numeros e 1 dig.verificador",
          "Cod.Barras EAN13 - 12 numeros e 1 dig.verificador",
          "Cod.Barras \"Standard 2 of 5\" - apenas n\xFAmeros, tamanho livre",
          "Cod.Barras \"Interleaved 2 of 5\" - apenas n\xFAmeros, tamanho PAR",
          "Cod.Barras Code11 - apenas n\xFAmeros, tamanho livre",
          "Cod.Barras Code39 - Aceita: 0..9,A..Z, ,$,%,*,+,-,.,/, tamanho livre",
          "Cod.Barras Code93 - Aceita: 0..9,A..Z,-,., ,$,/,+,%, tamanho livre",
          "Cod.Barras Code128 - Todos os caracteres ASCII, tamanho livre",
          "Cod.Barras UPCA - 11 numeros e 1 dig.verificador",
          "Cod.Barras UPCE - 11 numeros e 1 dig.verificador",
          "Cod.Barras CodaBar - Aceita: 0..9,A..D,a..d,$,+,-,.,/,:, tamanho livre",
          "Cod.Barra MSI - Apenas n\xFAmeros, 1 d\xEDgito verificador",
          "Cod.Barras Code128 - Subtipo A",
          "Cod.Barras Code128 - Subtipo B (padr\xE3o) = <code128>",
          "Cod.Barras Code128 - Subtipo C (informar valores em BCD)",
          "Cod.Barras QrCode",
      },
      true);

  // Added one by one; for the block tags among them the enclosed text is the
  // value, the code or the picture the tag works on.
  RegistrarUma(p, "<abre_gaveta>", "Abertura de Gaveta Espec\xED" "fica (1 ou 2)", true);
  RegistrarUma(p, "<barra_mostrar>", "Configura se deve exibir conteudo abaixo do Cod.Barras: 0-NAO; 1-SIM", true);
  RegistrarUma(p, "<barra_largura>", "Configura a Largura das Barras do Cod.Barras: 0 a 5. (0=default)", true);
  RegistrarUma(p, "<barra_altura>", "Configura a Altura do Cod.Barras: 0 a 255. (0=default)", true);
  RegistrarUma(p, "<qrcode>", "Imprime QRCode de acordo com \"ConfigQRCode\"", true);
  RegistrarUma(p, "<qrcode_tipo>", "Configura o Tipo de QRCode: 1,2", true);
  RegistrarUma(p, "<qrcode_largura>", "Configura a Largura do QRCode: 1 a 16", true);
  RegistrarUma(p, "<qrcode_error>", "Configura o Error Level do QRCode: 0 a 3", true);
  RegistrarUma(p, "<bmp>", "Imprime Imagem BMP monocrom\xE1tica. Conte\xFA" "do pode ser: Path da Imagem, Stream em Base64 ou AscII Art (0 e 1)", true);
  RegistrarUma(p, "<mp>", "Liga Modo de Impress\xE3o em P\xE1gina (em mem\xF3ria)", false);
  RegistrarUma(p, "</mp>", "Desliga Modo de Impress\xE3o P\xE1gina (em mem\xF3ria)", false);
  RegistrarUma(p, "</mp_imprimir>", "Comanda a Impress\xE3o da P\xE1gina na mem\xF3ria", false);
  RegistrarUma(p, "<mp_direcao>", "Dire\xE7\xE3o Texto no Modo P\xE1gina: 0-Esquerda/Direta, 1-Topo/Baixo, 2-Direita/Esquerda, 3-Baixo/Topo", true);
  RegistrarUma(p, "<mp_esquerda>", "Posi\xE7\xE3o Inicial Horizontal Modo P\xE1gina (Esquerda)", true);
  RegistrarUma(p, "<mp_topo>", "Posi\xE7\xE3o Inicial Vertical Modo P\xE1gina (Topo)", true);
  RegistrarUma(p, "<mp_largura>", "Largura da Regi\xE3o no Modo P\xE1gina", true);
  RegistrarUma(p, "<mp_altura>", "Altura da Regi\xE3o no Modo P\xE1gina", true);
  RegistrarUma(p, "<mp_espaco>", "Espa\xE7o entre Linhas na Regi\xE3o no Modo P\xE1gina", true);
  RegistrarUma(p, "</mp_configurar>", "Envia a configura\xE7\xE3o de Coordenadas da Regi\xE3o e dire\xE7\xE3o do Modo P\xE1gina", false);
  RegistrarUma(p, "<logo_imprimir>", "Configura a Impress\xE3o ou n\xE3o do Logo Tipo: 0-N\xC3O, 1-SIM (default = 1)", true);
  RegistrarUma(p, "<logo_kc1>", "Configura a posi\xE7\xE3o KC1 do Logo a ser impresso. Ex: 0=48", true);
  RegistrarUma(p, "<logo_kc2>", "Configura a posi\xE7\xE3o KC2 do Logo a ser impresso. Ex: 1=49", true);
  RegistrarUma(p, "<logo_fatorx>", "Configura o aumento Horizonal do Logo, de 1 a 4", true);
  RegistrarUma(p, "<logo_fatory>", "Configura o aumento Vertical do Logo, de 1 a 4", true);
  RegistrarUma(p, "<ignorar_tags>", "Ignora todas as Tags contidas no Bloco", true);
}

}  // namespace bilhetor
