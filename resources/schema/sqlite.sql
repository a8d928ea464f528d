-- Korvan work-records database, SQLite. Created in one transaction in a database that has
-- none of the five tables. AUTOINCREMENT keeps every new id above all earlier ones, also
-- after the tables were emptied; ids start at 1 (-1 means "all" in the browser).

CREATE TABLE SEP_Usek (
    id_Usek INTEGER PRIMARY KEY AUTOINCREMENT,
    Vytvoril TEXT
);

-- The latest row of a project (highest id_Historie) gives its current name and state.
CREATE TABLE SEP_UsekHistorie (
    id_Historie INTEGER PRIMARY KEY AUTOINCREMENT,
    id_Usek INTEGER NOT NULL,
    Nazev TEXT NOT NULL DEFAULT '',
    Aktivni INTEGER NOT NULL DEFAULT 1,
    Vytvoreno TEXT DEFAULT (datetime('now', 'localtime'))
);
CREATE INDEX ix_UsekHistorie_Usek ON SEP_UsekHistorie (id_Usek, id_Historie);

CREATE TABLE SEP_PovolenyUzivatel (
    id_UzivatelSEP INTEGER NOT NULL,
    id_Usek INTEGER NOT NULL
);
CREATE INDEX ix_PovolenyUzivatel_Usek ON SEP_PovolenyUzivatel (id_Usek);

CREATE TABLE SEP_TypPrace (
    id_TypPrace INTEGER PRIMARY KEY AUTOINCREMENT,
    TypPrace TEXT NOT NULL DEFAULT ''
);

CREATE TABLE SEP_ProvedenaPrace (
    id_ProvedenaPrace INTEGER PRIMARY KEY AUTOINCREMENT,
    id_Usek INTEGER NOT NULL,
    id_TypPrace INTEGER NOT NULL,
    id_Chyba INTEGER,
    id_UzivatelSEP INTEGER NOT NULL,
    Cas REAL NOT NULL,
    Popis TEXT,
    DatumPrace TEXT NOT NULL,
    Aktivni INTEGER NOT NULL DEFAULT 1,
    Vytvoreno TEXT,
    Vytvoril TEXT
);
CREATE INDEX ix_ProvedenaPrace_Usek ON SEP_ProvedenaPrace (id_Usek);
CREATE INDEX ix_ProvedenaPrace_TypPrace ON SEP_ProvedenaPrace (id_TypPrace);
CREATE INDEX ix_ProvedenaPrace_Datum ON SEP_ProvedenaPrace (DatumPrace);

-- Projects with their current name and state. By position: 1 id_Usek, 5 the name.
CREATE VIEW view_SEP_Useky AS
SELECT h.id_Historie, u.id_Usek, h.Aktivni, u.Vytvoril, h.Nazev, h.Nazev AS NazevUseku
FROM SEP_Usek u
JOIN SEP_UsekHistorie h ON h.id_Historie =
    (SELECT MAX(h2.id_Historie) FROM SEP_UsekHistorie h2 WHERE h2.id_Usek = u.id_Usek);

-- One row per work record. By position: 0 DatumPrace, 1 Nazev, 2 Cas, 3 Popis, 6 TypPrace.
CREATE VIEW view_SEP_prace AS
SELECT p.DatumPrace,
       (SELECT h.Nazev FROM SEP_UsekHistorie h WHERE h.id_Usek = p.id_Usek
        ORDER BY h.id_Historie DESC LIMIT 1) AS Nazev,
       p.Cas, p.Popis, p.id_Usek, p.id_TypPrace, t.TypPrace
FROM SEP_ProvedenaPrace p
LEFT JOIN SEP_TypPrace t ON t.id_TypPrace = p.id_TypPrace;

-- Active projects that user 1 may book on.
CREATE VIEW view_SEP_ZjistiVsechnyMojePovoleneUseky AS
SELECT v.id_Usek, v.NazevUseku
FROM view_SEP_Useky v
WHERE v.Aktivni = 1
  AND EXISTS (SELECT 1 FROM SEP_PovolenyUzivatel p
              WHERE p.id_Usek = v.id_Usek AND p.id_UzivatelSEP = 1);
