-- A small data set for the schema in schema.sql: three customers, one
-- product for each combination of revenda and ImpOS, two employees, and four
-- orders with waiting items. Orders 57 (ordinary), 58 (cancellation, 'C') and
-- 59 (total cancellation, 'T') print one ticket each; order 60 holds only an
-- item whose product is not sold (revenda 'N'), so it is never selected.
-- The file is UTF-8; the server stores the text in the latin1 columns.
SET NAMES utf8mb4;

INSERT INTO cadcliente (codcli, cliente, fantasia, endereco, numero, tel1, tel2, cidade, uf) VALUES
  (1, 'José Ávila', 'Ávila Materiais', 'Rua A', '10', '1234', '5678', 'Rio Claro', 'SP'),
  (2, 'Mercearia Bom Preço Ltda', 'Bom Preço', 'Av. São João', '1500', '(11) 3333-4444', '', 'São Paulo', 'SP'),
  (3, 'A&B <Comércio> de Papéis', 'A&B', 'Travessa Ipê #2', 's/n', '(19) 98888-7777', '(19) 3524-0000', 'Limeira', 'SP');

INSERT INTO cadprod (codprod, descricao, und, ean13, revenda, ImpOS) VALUES
  (42, 'Caixa Grande', 'UN', '7891234567895', 'S', 'S'),
  (43, 'Fita Adesiva 45mm', 'RL', '7891000001011', 'S', 'N'),
  (44, 'Etiqueta Térmica 100x50', 'CX', '7891000002025', 'N', 'S'),
  (45, 'Taxa de Entrega', 'SV', '7891000003039', 'N', 'N');

INSERT INTO cadfunc (codfunc, nome) VALUES
  (1, 'MARIA'),
  (2, 'JOÃO CARLOS');

INSERT INTO pedido (numped, CodCli, obs2, codfunc) VALUES
  (57, 1, 'Entregar à tarde', 1),
  (58, 2, '', 2),
  (59, 3, 'Cliente desistiu da compra', 2),
  (60, 1, NULL, 1);

INSERT INTO imprimir (numped, tipo, codprod, qtde, impressao) VALUES
  (57, NULL, 42, 2, 'N'),
  (57, NULL, 43, 1.5, 'N'),
  (57, NULL, 44, 1, 'N'),
  (57, NULL, 45, 1, 'N'),
  (58, 'C', 42, 1, 'N'),
  (59, 'T', 43, 3, 'N'),
  (59, 'T', 44, 2, 'N'),
  (60, NULL, 44, 1, 'N');
