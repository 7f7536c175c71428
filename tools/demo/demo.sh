#!/usr/bin/env bash
# The print server's demo, run by "./run demo" after the release build: a
# private MariaDB in a temporary folder on a loopback port with the sample
# schema and data (three orders waiting), a stand-in network printer on
# loopback, and "bilhetor --headless" polling the database until the three
# tickets are printed. Shows each ticket as the printer received it (control
# bytes by name), draws it as a picture of the paper (a PNG beside it) and
# shows the queue rows now marked, then stops everything it started. The files
# stay in the folder it names at the end.
#
# With BILHETOR_DEMO_WINDOWS=1 ("./run demo --windows") the print server is
# the Windows program of build/windows, run under Wine; everything else is the
# same.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
tools=$top/build/release/tools
out=${BILHETOR_DEMO_DIR:-$(mktemp -d /tmp/bilhetor-demo.XXXXXX)}
mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -rf "$out/db" "$out/config" "$out/impressora" "$out/runtime"
mkdir -p "$out/db" "$out/config" "$out/impressora" "$out/runtime"

log() { printf '\n== %s\n' "$*"; }

# The print server, and the paths it is given, as the program sees them
# (under Wine the Linux root is drive Z:).
if [ "${BILHETOR_DEMO_WINDOWS:-}" = 1 ]; then
  servidor=("$top/tests/wine/executar" "$top/build/windows/tools/bilhetor/bilhetor.exe")
  caminho() { printf 'Z:%s' "$1"; }
else
  servidor=("$tools/bilhetor/bilhetor")
  caminho() { printf '%s' "$1"; }
fi

# A TCP port on 127.0.0.1 that nothing answers on.
free_port() {
  local p
  while :; do
    p=$(( 20000 + RANDOM % 30000 ))
    (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null || { echo "$p"; return; }
  done
}

pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
}
trap cleanup EXIT

wait_for() {  # wait_for SECONDS COMMAND...
  local limit=$(( $1 * 10 )); shift
  for ((i = 0; i < limit; i++)); do "$@" && return 0; sleep 0.1; done
  return 1
}

userarg=()
[ "$(id -u)" -eq 0 ] && userarg=(--user=root)
db_port=$(free_port)
sock=$out/db/mysqld.sock
sql() { mariadb --no-defaults -S "$sock" -uroot "$@"; }

log "starting a private MariaDB on 127.0.0.1:$db_port (data in $out/db)"
mariadb-install-db --no-defaults --datadir="$out/db/data" --auth-root-authentication-method=normal \
  --skip-test-db --skip-name-resolve "${userarg[@]}" > "$out/db/install.log" 2>&1
mariadbd --no-defaults --datadir="$out/db/data" --port="$db_port" --bind-address=127.0.0.1 \
  --socket="$sock" --pid-file="$out/db/mariadbd.pid" --skip-name-resolve --skip-log-bin \
  --innodb-buffer-pool-size=16M --log-error="$out/db/mariadbd.log" "${userarg[@]}" > "$out/db/mariadbd.out" 2>&1 &
pids+=($!)
wait_for 60 sql -e 'select 1' >/dev/null 2>&1 || { cat "$out/db/mariadbd.log"; exit 1; }
{
  echo "CREATE USER IF NOT EXISTS 'root'@'127.0.0.1';"
  echo "ALTER USER 'root'@'127.0.0.1' IDENTIFIED BY '5209384kq';"
  echo "GRANT ALL ON *.* TO 'root'@'127.0.0.1' WITH GRANT OPTION;"
  echo "CREATE DATABASE beleza; USE beleza;"
  cat "$top/sql/schema.sql" "$top/sql/sample-data.sql"
} | sql
echo "database beleza: the sample schema and data (sql/), with these items waiting:"
sql -t beleza -e "SELECT id, numped, tipo, codprod, qtde, impressao FROM imprimir ORDER BY id"

printer_port=$(free_port)
log "starting a stand-in network printer on 127.0.0.1:$printer_port (tickets in $out/impressora)"
"$tools/bilhetor-impressora/bilhetor-impressora" --porta "$printer_port" --pasta "$out/impressora" \
  > "$out/impressora.log" 2>&1 &
pids+=($!)

printf '127.0.0.1\n%s\n' "$db_port" > "$out/config/sys.txt"
printf 'beleza\n' > "$out/config/banco.txt"
cat > "$out/config/bilhetor.ini" <<INI
[PosPrinter]
Modelo=1
Porta=TCP:127.0.0.1:$printer_port
Colunas=48
ControlePorta=1
CortarPapel=1
PaginaDeCodigo=2
ArqLog=$(caminho "$out/motor.log")
INI

log "running: ${servidor[*]##*/} --headless --pasta $(caminho "$out/config") --estado $(caminho "$out/estado")"
XDG_RUNTIME_DIR=$out/runtime "${servidor[@]}" --headless --pasta "$(caminho "$out/config")" \
  --estado "$(caminho "$out/estado")" 2> "$out/bilhetor.log" &
server=$!
pids+=($server)
waiting() { [ "$(sql -N beleza -e "SELECT COUNT(*) FROM imprimir WHERE impressao = 'N'")" -le 2 ]; }
if ! wait_for 60 waiting; then
  cat "$out/bilhetor.log"
  echo "the tickets were not printed within a minute" >&2
  exit 1
fi
kill -TERM "$server"
wait "$server" || true
echo "bilhetor's own messages ($out/bilhetor.log):"
sed 's/^/  /' "$out/bilhetor.log"

for ticket in "$out"/impressora/ticket-*.bin; do
  log "$(basename "$ticket") as the printer received it ($(stat -c %s "$ticket") bytes)"
  "$tools/bilhetor-print/bilhetor-print" --descrever "$ticket"
done

log "the tickets as an 80 mm Epson printer prints them (receipt preview)"
for ticket in "$out"/impressora/ticket-*.bin; do
  "$tools/bilhetor-print/bilhetor-print" --desenhar "$ticket"
  echo "  ${ticket%.bin}.png"
done

log "the queue now: printed items are marked S"
sql -t beleza -e "SELECT i.id, i.numped, i.tipo, i.codprod, p.revenda, p.ImpOS, i.impressao
  FROM imprimir i JOIN cadprod p ON p.codprod = i.codprod ORDER BY i.id"
echo "Item 4 (a product neither sold nor printed with the order) and order 60 (nothing sold) are never printed."

cleanup
trap - EXIT
log "done; the files are in $out"
echo "  config/     sys.txt, banco.txt and bilhetor.ini of the print server"
echo "  impressora/ one file per ticket, the bytes the printer received (ticket-NNN.bin),"
echo "              and its picture (ticket-NNN.png)"
echo "  bilhetor.log  the server's messages; motor.log  the engine and device log"
echo "  db/         the MariaDB data folder and its log"
