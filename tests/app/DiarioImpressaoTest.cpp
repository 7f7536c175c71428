// The journal of printed tickets on disk: what survives a reopen, a line cut
// short by a crash, and the bounds on its size.
#include <gtest/gtest.h>

#include "app/DiarioImpressao.h"
#include "support/TestSupport.h"

namespace bilhetor {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

TTicketDiario Ticket(const std::string& pedido, std::vector<std::string> itens, std::string texto = "</zera>") {
  TTicketDiario t;
  t.Pedido = pedido;
  t.Itens = std::move(itens);
  t.Bytes = 100;
  t.Porta = "TCP:127.0.0.1:9100";
  t.Texto = std::move(texto);
  return t;
}

const TDataHora kDia1{2024, 3, 5, 14, 20, 1, 0};
const TDataHora kDia3{2024, 3, 7, 9, 0, 0, 0};

TEST(Diario, OwedMarksSurviveAReopenAndALineCutShortIsIgnored) {
  TempDir dir;
  const std::string arquivo = dir / "estado/diario.txt";
  // Every byte the text can hold comes back: tabs, line breaks, backslashes,
  // control bytes, Windows-1252 letters.
  const std::string texto = "<n>A\tB\\C</n>\nJo\xE3o\x1B\x40\r\x7F";
  {
    TDiarioImpressao d(arquivo);
    d.Abrir(kDia1);
    EXPECT_EQ(d.RegistrarImpressao(Ticket("57", {"1", "2"}, texto), kDia1), 1u);
    EXPECT_EQ(d.RegistrarImpressao(Ticket("58", {"5"}), kDia1), 2u);
    d.RegistrarMarcado(2, kDia1);
    EXPECT_TRUE(d.ItemDevido("2"));
    EXPECT_FALSE(d.ItemDevido("5"));
  }
  // A crash in the middle of a record, and a record damaged on the disk.
  const std::string inteiro = ReadFile(arquivo);
  WriteFile(arquivo, inteiro + "I\t9\t2024-03-05 14:20:01\t60\t8\t1\tX\ttexto\t00000000\nI\t3\t2024-03-05 14:2");

  TDiarioImpressao d(arquivo);
  d.Abrir(kDia1);
  ASSERT_EQ(d.Devidos().size(), 1u);
  EXPECT_EQ(d.Devidos()[0].Pedido, "57");
  EXPECT_EQ(d.Devidos()[0].Itens, (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(d.Devidos()[0].Texto, texto);
  EXPECT_EQ(d.Devidos()[0].Momento, "2024-03-05 14:20:01");
  // The next record starts on a line of its own and is read back.
  EXPECT_EQ(d.RegistrarImpressao(Ticket("59", {"6"}), kDia1), 3u);
  const auto todos = TDiarioImpressao::Ler(arquivo);
  ASSERT_EQ(todos.size(), 3u);
  EXPECT_EQ(todos[2].Pedido, "59");
  EXPECT_TRUE(todos[1].Marcado);
  EXPECT_FALSE(todos[0].Marcado);
}

TEST(Diario, StaysBoundedByDaysAndSizeButKeepsWhatIsOwed) {
  TempDir dir;
  const std::string arquivo = dir / "diario.txt";
  {
    TDiarioImpressao d(arquivo, TLimitesDiario{1, 1 << 20});
    d.Abrir(kDia1);
    d.RegistrarImpressao(Ticket("57", {"1"}), kDia1);
    d.RegistrarImpressao(Ticket("58", {"2"}), kDia1);
    d.RegistrarMarcado(2, kDia1);
  }
  // Two days later, with a one-day limit: the marked ticket goes, the owed
  // one stays.
  {
    TDiarioImpressao d(arquivo, TLimitesDiario{1, 1 << 20});
    d.Abrir(kDia3);
    const auto restantes = TDiarioImpressao::Ler(arquivo);
    ASSERT_EQ(restantes.size(), 1u);
    EXPECT_EQ(restantes[0].Pedido, "57");
  }
  // Over the size limit the oldest marked tickets go first.
  TDiarioImpressao d(arquivo, TLimitesDiario{30, 4096});
  d.Abrir(kDia3);
  for (int i = 0; i < 40; ++i) d.RegistrarMarcado(d.RegistrarImpressao(Ticket(std::to_string(100 + i), {"9"}, std::string(200, 'x')), kDia3), kDia3);
  EXPECT_LE(ReadFile(arquivo).size(), 4096u);
  const auto restantes = TDiarioImpressao::Ler(arquivo);
  ASSERT_GE(restantes.size(), 2u);
  EXPECT_EQ(restantes[0].Pedido, "57");
  EXPECT_EQ(restantes.back().Pedido, "139");
}

}  // namespace
}  // namespace bilhetor
