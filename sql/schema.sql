-- The five tables of the order system that the print server reads and
-- writes, with the columns its statements use. The order system owns them;
-- this schema serves the tests, the demo and the benchmark. Text is latin1,
-- the character set the print server's session announces.

CREATE TABLE cadcliente (
  codcli   INT NOT NULL PRIMARY KEY,
  cliente  VARCHAR(60) NOT NULL,
  fantasia VARCHAR(60) NULL,
  endereco VARCHAR(80) NULL,
  numero   VARCHAR(10) NULL,
  tel1     VARCHAR(20) NULL,
  tel2     VARCHAR(20) NULL,
  cidade   VARCHAR(40) NULL,
  uf       CHAR(2) NULL
) ENGINE=InnoDB DEFAULT CHARSET=latin1;

CREATE TABLE cadprod (
  codprod   INT NOT NULL PRIMARY KEY,
  descricao VARCHAR(80) NOT NULL,
  und       VARCHAR(6) NOT NULL DEFAULT 'UN',
  ean13     VARCHAR(13) NULL,
  revenda   CHAR(1) NOT NULL DEFAULT 'S',  -- 'S': sold, goes on the separation ticket
  ImpOS     CHAR(1) NOT NULL DEFAULT 'N'   -- 'S': printed with the order's other items
) ENGINE=InnoDB DEFAULT CHARSET=latin1;

CREATE TABLE cadfunc (
  codfunc INT NOT NULL PRIMARY KEY,
  nome    VARCHAR(60) NOT NULL
) ENGINE=InnoDB DEFAULT CHARSET=latin1;

CREATE TABLE pedido (
  numped  INT NOT NULL PRIMARY KEY,
  CodCli  INT NOT NULL,
  obs2    VARCHAR(200) NULL,
  codfunc INT NULL,
  data    DATETIME NOT NULL DEFAULT CURRENT_TIMESTAMP
) ENGINE=InnoDB DEFAULT CHARSET=latin1;

-- The print queue: one row per order item to print. impressao is 'N' while
-- the item waits and 'S' once its ticket has been printed; tipo is NULL or
-- empty for an order, 'C' for a cancellation, 'T' for a total cancellation.
CREATE TABLE imprimir (
  id        INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  numped    INT NOT NULL,
  tipo      CHAR(1) NULL,
  codprod   INT NOT NULL,
  qtde      DECIMAL(12,4) NOT NULL DEFAULT 1,
  impressao CHAR(1) NOT NULL DEFAULT 'N',
  KEY imprimir_espera (impressao, numped)
) ENGINE=InnoDB DEFAULT CHARSET=latin1;
