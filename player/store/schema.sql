-- The player's store rd.d (SQLite). Current schema; the build writes a
-- fresh rd.d from this file and shipped_rows.sql, phrases.sql.
-- Natural row order is rowid order. Values are text unless noted.

-- Schedule entries and live recordings.
CREATE TABLE recSchedul (
  idno      INTEGER PRIMARY KEY AUTOINCREMENT,
  onf       TEXT,
  mode1     TEXT,
  mode2     TEXT,
  name1     TEXT,
  radiourl  TEXT,
  freq1     TEXT,
  freq2     TEXT,
  date1     TEXT,
  date2     TEXT,
  date3     TEXT,
  time1     TEXT,
  time2     TEXT,
  status1   TEXT,
  filename1 TEXT,
  filename2 TEXT
);

-- Memory stations, one row per slot in slot order. The memory-station code
-- reads the station id as the third column and the name as the fourth, so
-- the row key `slot` comes first and the order of the columns is fixed.
CREATE TABLE myRadio (
  slot        INTEGER PRIMARY KEY AUTOINCREMENT,
  idno        TEXT,
  id          NUMERIC,
  name        TEXT,
  url         TEXT,
  weburl      TEXT,
  location_id TEXT,
  genre_id    TEXT
);

-- Interface phrases: lang1 Simplified Chinese, lang2 Traditional Chinese,
-- lang3 English (the key), lang4..lang6 further languages.
CREATE TABLE aplng (
  lang1 TEXT,
  lang2 TEXT,
  lang3 TEXT,
  lang4 TEXT,
  lang5 TEXT,
  lang6 TEXT
);

-- Language setting: current number (lang1), previous number (lang2) and the
-- first-run mark ("Y" until a language has been saved).
CREATE TABLE apsel (
  lang1    INTEGER,
  lang2    INTEGER,
  firstexe TEXT
);

-- Real-time capture setting: chosen input line (fld2) and format (fld3),
-- positions counted from 0, -1 for none.
CREATE TABLE recSetup (
  fld2 INTEGER,
  fld3 INTEGER
);
