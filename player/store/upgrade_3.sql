-- Store version 2 -> 3. Adds the main menu's item that starts the player
-- with the desktop; rows the store already holds are left as they are.

INSERT INTO aplng (lang1, lang2, lang3)
  SELECT '随桌面启动', '隨桌面啟動', 'Start with the desktop'
  WHERE NOT EXISTS (SELECT 1 FROM aplng WHERE lang1 = '随桌面启动');
