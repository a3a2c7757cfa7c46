-- Store version 1 -> 2. Version 1 is the first store, which carried no
-- version number (user_version 0). Adds the phrases that version 2 ships;
-- rows the store already holds are left as they are.

INSERT INTO aplng (lang1, lang2, lang3)
  SELECT '错误', '錯誤', 'Error'
  WHERE NOT EXISTS (SELECT 1 FROM aplng WHERE lang3 = 'Error');
INSERT INTO aplng (lang1, lang2, lang3)
  SELECT '无法启动网页浏览器以打开 %1', '無法啟動網頁瀏覽器以開啟 %1', 'No web browser could be started for %1'
  WHERE NOT EXISTS (SELECT 1 FROM aplng WHERE lang3 = 'No web browser could be started for %1');
INSERT INTO aplng (lang1, lang2, lang3)
  SELECT '请先登录再使用最爱电台。', '請先登入再使用最愛電台。', 'You have to logon before use the favorite radio.'
  WHERE NOT EXISTS (SELECT 1 FROM aplng WHERE lang3 = 'You have to logon before use the favorite radio.');
INSERT INTO aplng (lang1, lang2, lang3)
  SELECT '音量现在应已设为零', '音量現在應已設為零', 'Volume should now be set to zero'
  WHERE NOT EXISTS (SELECT 1 FROM aplng WHERE lang3 = 'Volume should now be set to zero');
