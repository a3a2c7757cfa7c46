-- Rows the product ships with (besides the phrases).

-- Ten free memory-station slots.
INSERT INTO myRadio (idno, id, name, url, weburl, location_id, genre_id) VALUES ('', 0, '', '', '', '', '');
INSERT INTO myRadio (idno, id, name, url, weburl, location_id, genre_id) VALUES ('', 0, '', '', '', '', '');
INSERT INTO myRadio (idno, id, name, url, weburl, location_id, genre_id) VALUES ('', 0, '', '', '', '', '');
INSERT INTO myRadio (idno, id, name, url, weburl, location_id, genre_id) VALUES ('', 0, '', '', '', '', '');
INSERT INTO myRadio (idno, id, name, url, weburl, location_id, genre_id) VALUES ('', 0, '', '', '', '', '');
INSERT INTO myRadio (idno, id, name, url, weburl, location_id, genre_id) VALUES ('', 0, '', '', '', '', '');
INSERT INTO myRadio (idno, id, name, url, weburl, location_id, genre_id) VALUES ('', 0, '', '', '', '', '');
INSERT INTO myRadio (idno, id, name, url, weburl, location_id, genre_id) VALUES ('', 0, '', '', '', '', '');
INSERT INTO myRadio (idno, id, name, url, weburl, location_id, genre_id) VALUES ('', 0, '', '', '', '', '');
INSERT INTO myRadio (idno, id, name, url, weburl, location_id, genre_id) VALUES ('', 0, '', '', '', '', '');

-- English, no earlier language, language choice offered at the first start.
INSERT INTO apsel (lang1, lang2, firstexe) VALUES (1, 1, 'Y');

-- No input line and no format chosen yet.
INSERT INTO recSetup (fld2, fld3) VALUES (-1, -1);
