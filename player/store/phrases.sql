-- Interface phrases shipped in aplng: (lang1 Simplified Chinese, lang2
-- Traditional Chinese, lang3 English). Texts are found by their English
-- wording, except the pop-up menu items, whose Simplified Chinese design
-- captions are the key. Rows are scanned in this order.

-- Main menu and list menu of the main window (key: lang1).
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('加入到我的Vexa', '加入到我的Vexa', 'Add to my Vexa');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('录音排程', '錄音排程', 'Record schedule');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('浏览电台网站', '瀏覽電台網站', 'Visit station website ');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('电台更新', '電台更新', 'Station update');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('联络我们', '聯絡我們', 'Contact us');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('连结到Vexa', '連結到Vexa', 'Link to Vexa');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('语系设定', '語系設定', 'Language');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('关于 Vexa Radio Player', '關於 Vexa Radio Player', 'About Vexa Radio Player');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('离开菜单', '離開選單', 'Exit');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('地区', '地區', 'Location');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('类型', '類型', 'Genre');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('我的Vexa', '我的Vexa', 'My Vexa');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('离开清单', '離開清單', 'Exit');

-- Main window: set-mode hint and the hints of the transport buttons.
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('记忆电台：按 1 至 10 号按钮设定。', '記憶電台：按 1 至 10 號按鈕設定。', 'Memory station . Press button 1 to 10  to set.');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('播放', '播放', 'Play');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('停止', '停止', 'Stop');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('暂停', '暫停', 'Pulse');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('录音', '錄音', 'Record');

-- Memory-station questions.
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('此电台已存在，确定要保存这个电台吗？', '此電台已存在，確定要儲存這個電台嗎？', 'Radio station already exist. Are you sure save this station?');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('要覆盖这个电台吗？', '要覆蓋這個電台嗎？', 'Overwrite this station?');

-- Language window and the message window.
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('保存', '儲存', 'SAVE');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('关闭', '關閉', 'CLOSE');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('设置将在重新启动后生效。', '設定將在重新啟動後生效。', 'Configuration will be done after restart .');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('确定', '確定', 'OK');

-- Schedule words stored in recSchedul (mode, frequency, weekday).
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('实时录音', '即時錄音', 'Real time record');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('一次', '一次', 'Once');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('每天', '每天', 'Every Day');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('每周', '每週', 'Every Week');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('周日', '週日', 'Sun');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('周一', '週一', 'Mon');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('周二', '週二', 'Tue');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('周三', '週三', 'Wed');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('周四', '週四', 'Thu');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('周五', '週五', 'Fri');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('周六', '週六', 'Sat');

-- Schedule editor: labels, buttons, list titles and messages.
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('模式', '模式', 'Mode');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('名称', '名稱', 'Name');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('频率', '頻率', 'Frequency');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('日期', '日期', 'Date');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('时间', '時間', 'Time');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('文件名', '檔案名稱', 'File name');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('启用', '啟用', 'Enable');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('新增', '新增', 'Add');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('修改', '修改', 'Modify');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('删除', '刪除', 'Delete');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('录音列表', '錄音清單', 'Record list');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('双击即可播放。', '按兩下即可播放。', 'Double click to play.');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('日期错误！', '日期錯誤！', 'Date Error!');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('时间错误！', '時間錯誤！', 'Time Error!');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('日期或时间错误！', '日期或時間錯誤！', 'Date or Time Error!');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('请输入名称。', '請輸入名稱。', 'Please input name.');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('数据库错误', '資料庫錯誤', 'Database error');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('文件不存在。', '檔案不存在。', 'File not exist.');

-- Real-time record setup.
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('实时录音设置', '即時錄音設定', 'Real Time Record Setup');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('选择音源', '選擇音源', 'Select source');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('选择格式', '選擇格式', 'Select format');

-- Station list window titles.
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('电台列表 - 地区', '電台清單 - 地區', 'PLAYLIST - Location');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('电台列表 - 类型', '電台清單 - 類型', 'PLAYLIST - Genre');

-- Media player status words.
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('正在播放', '正在播放', 'Playing');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('已暂停', '已暫停', 'Paused');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('已停止', '已停止', 'Stopped');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('正在连接...', '正在連線...', 'Connecting...');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('正在缓冲', '正在緩衝', 'Buffering');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('就绪', '就緒', 'Ready');

-- Messages (store version 2; upgrade_2.sql brings them to older stores).
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('错误', '錯誤', 'Error');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('无法启动网页浏览器以打开 %1', '無法啟動網頁瀏覽器以開啟 %1', 'No web browser could be started for %1');
-- Memory stations and volume messages.
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('请先登录再使用最爱电台。', '請先登入再使用最愛電台。', 'You have to logon before use the favorite radio.');
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('音量现在应已设为零', '音量現在應已設為零', 'Volume should now be set to zero');

-- Main menu: the start with the desktop (store version 3; upgrade_3.sql
-- brings it to older stores).
INSERT INTO aplng (lang1, lang2, lang3) VALUES ('随桌面启动', '隨桌面啟動', 'Start with the desktop');
