# Sourced by the database benchmarks: one workstation of a shared database.
#   bench_workstation BUILD FOLDER DBSTRING REGISTRATION_COMMAND [MORE_LINES] [DBDRIVER]
# Makes the workstation's folders, links the stand-in package into its install folder (its
# cvxlink-standin.ini is the caller's) and writes its EDI.ini; MORE_LINES end the file. The
# database is a PostgreSQL server's (DBDRIVER PSQL, the default) or a SQLite file (SQLITE).
bench_workstation() {
    local build=$1 folder=$2 dbstring=$3 register=$4 more=${5:-} driver=${6:-PSQL}
    mkdir -p "$folder"/{cvx/data/STS,received,backup,bin,registration/status,registration/command}
    ln -s "$build/tools/edi-linkpkg" "$folder/cvx/z_tcp"
    cat > "$folder/EDI.ini" <<INI
[動作環境]
DBDRIVER=$driver
DBSTRING=$dbstring
USERID=edi
[Setting0]
LabelBackColor=0
LabelForeColor=0
TextBackColor=0
TextFocusColor=0
TextForeColor=0
TitleBackColor=0
TitleForeColor=0
[LINKDRV]
MINIMAIZE=0
DEMOMODE=0
INSTALLDIR=$folder/cvx/
PROGRAM=z_tcp
[PATH]
CVXLINK_PATH=$folder/cvx/data/
EDIINFIL=$folder/received/
OLD_FILE=$folder/backup/
MGSTPATH=$folder/registration/status
PRPATH=$folder/registration/command
MGCMDLINEKR=$register
[JKBN_K_J]
0101
$more
INI
}
