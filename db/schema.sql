-- The tables of the EDI reception scheduler. Portable SQL: runs unchanged on SQLite and
-- PostgreSQL. Names are left unquoted (PostgreSQL folds their ASCII letters, consistently for
-- every statement); the format master's columns that begin with a digit must be quoted.

-- Code master: display names of codes by category (送受信方式, 相手先種別).
CREATE TABLE 区分マスタ (
    区分       VARCHAR(20) NOT NULL,
    区分ｺｰﾄﾞ   VARCHAR(10) NOT NULL,
    区分名称   VARCHAR(40),
    PRIMARY KEY (区分, 区分ｺｰﾄﾞ)
);

-- EDI control master: one row per EDI centre.
CREATE TABLE FL1903EDI制御マスタ (
    センターコード       VARCHAR(12) NOT NULL,
    センター名           VARCHAR(60),
    送受信方式           VARCHAR(1),
    実行端末名           VARCHAR(64),
    相手先種別           VARCHAR(1),
    CVX受信相手先番号    INTEGER,
    CVX受信ファイル番号  INTEGER,
    CVX受信ファイルパス  VARCHAR(4096),
    送受信データ形式     VARCHAR(1),
    相手先メールアドレス VARCHAR(255),
    PRIMARY KEY (センターコード)
);

-- EDI schedule master: one row per centre, weekday (1 = Sunday) and start time.
CREATE TABLE FL1912EDIスケジュールマスタ (
    センターコード VARCHAR(12) NOT NULL,
    曜日           INTEGER     NOT NULL,
    起動時刻       TIME        NOT NULL,
    送受信種別     VARCHAR(1),
    PRIMARY KEY (センターコード, 曜日, 起動時刻)
);

-- Processing history: one row per job (枝番 0) and per step. 備考 says what the codes cannot: a
-- job completed after its process ended, the serial a job ran again, a failed backup copy. The
-- program adds it to a table made without it.
CREATE TABLE FL1102処理履歴ファイル (
    通番               INTEGER  NOT NULL,
    枝番               SMALLINT NOT NULL,
    送受信種別         VARCHAR(1),
    相手先種別         VARCHAR(1),
    処理種別           VARCHAR(2),
    処理開始日付       DATE,
    処理開始時刻       TIME,
    センターコード     VARCHAR(12),
    処理終了日付       DATE,
    処理終了時刻       TIME,
    相手先企業コード   VARCHAR(20),
    BPID               VARCHAR(8),
    取引情報区分       VARCHAR(4),
    最終シーケンス番号 INTEGER,
    入力レコード数     INTEGER,
    入力ファイルサイズ INTEGER,
    出力レコード数     INTEGER,
    出力ファイルサイズ INTEGER,
    格納モード         VARCHAR(1),
    終了コード         VARCHAR(4),
    詳細コード         VARCHAR(4),
    ファイル名         VARCHAR(4096),
    備考               VARCHAR(1000),
    PRIMARY KEY (通番, 枝番)
);

-- The workstations' schedulers, a row each: written at the start, once a minute and at the end,
-- so "edi-auto status" tells which answer. The program makes it in a database made without it.
-- 実行状態: 0 automatic running off, 1 a job runs, 2 waiting, 9 ended.
CREATE TABLE EDI端末稼働状況 (
    端末名           VARCHAR(64) NOT NULL,
    プログラム版     VARCHAR(20),
    プロセス番号     INTEGER,
    起動日付         DATE,
    起動時刻         TIME,
    確認日付         DATE,
    確認時刻         TIME,
    実行状態         SMALLINT,
    次回受信日付     DATE,
    次回受信時刻     TIME,
    次回受信センター VARCHAR(12),
    実行中センター   VARCHAR(12),
    実行中通番       INTEGER,
    操作待ち         VARCHAR(1000),
    PRIMARY KEY (端末名)
);

-- What each job received, to know a delivery that comes again: a row per received file's SHA-256
-- (照合種別 SHA256, 照合値 the hash in hexadecimal) and per CII message group's header (CIIHDR:
-- sender, receiver, information class, exchange reference and creation time joined by "|"). A
-- delivery that shares one with a job of the centre that registered data within [動作環境] DUPDAYS
-- days is not registered again. Rows older than that are removed. The program makes it in a
-- database made without it.
CREATE TABLE EDI受信データ照合 (
    センターコード VARCHAR(12)   NOT NULL,
    照合値         VARCHAR(100)  NOT NULL,
    照合種別       VARCHAR(8)    NOT NULL,
    通番           INTEGER       NOT NULL,
    受信日付       DATE,
    ファイル名     VARCHAR(4096),
    PRIMARY KEY (センターコード, 照合値, 照合種別, 通番)
);

-- Partner companies that use a centre.
CREATE TABLE FL1915センタ利用企業マスタ (
    センターコード   VARCHAR(12) NOT NULL,
    相手先企業コード VARCHAR(20) NOT NULL,
    PRIMARY KEY (センターコード, 相手先企業コード)
);

-- Format master: one row per kind of business message.
CREATE TABLE FL1902フォーマット情報マスタ (
    情報区分コード             VARCHAR(4) NOT NULL,
    BPID                       VARCHAR(8) NOT NULL,
    様式識別                   VARCHAR(10),
    シンタックスIDバージョン   VARCHAR(6),
    格納モード                 VARCHAR(1),
    "1バイト文字集合"          VARCHAR(1),
    "2バイト文字集合"          VARCHAR(1),
    ローカル形式               VARCHAR(10),
    XML文字コード              VARCHAR(1),
    PRIMARY KEY (情報区分コード, BPID)
);

-- Record-format master: one row per item of a format, "E" for the CII message, "L" for the
-- local fixed-length record.
CREATE TABLE FL1903レコードフォーマット情報マスタ (
    フォーマット種別 VARCHAR(1) NOT NULL,
    情報区分コード   VARCHAR(4) NOT NULL,
    BPID             VARCHAR(8) NOT NULL,
    項目通番         INTEGER    NOT NULL,
    対応項目通番     INTEGER,
    レベル番号       INTEGER,
    項目№           INTEGER,
    項目位置         VARCHAR(10),
    項目名称         VARCHAR(60),
    属性             VARCHAR(1) NOT NULL,
    長さ             INTEGER,
    小数部長さ       INTEGER,
    マルチ明細番号   VARCHAR(5),
    繰返し数         INTEGER    NOT NULL,
    固定項目値       VARCHAR(60),
    変換エラー対処   VARCHAR(10),
    PRIMARY KEY (フォーマット種別, 情報区分コード, BPID, 項目通番)
);

-- The history's readers (the web monitor, the history listings) on a large table: a centre's
-- latest jobs and its jobs of a span of days read backwards from its newest, and a span of days'
-- job rows newest first with their serials from the index alone. The schedulers and edi-dbinit
-- make them in a database made without them.
CREATE INDEX IF NOT EXISTS FL1102処理履歴_センター ON FL1102処理履歴ファイル (センターコード, 枝番, 処理開始日付, 通番);
CREATE INDEX IF NOT EXISTS FL1102処理履歴_開始日付 ON FL1102処理履歴ファイル (枝番, 処理開始日付, 通番);
