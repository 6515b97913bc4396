<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>Engine</name>
    <message>
        <source>(標準)</source>
        <translation>(Standard)</translation>
    </message>
    <message>
        <source>指定されたファイル &apos;%1&apos; が見つかりません。</source>
        <translation>The specified file &apos;%1&apos; was not found.</translation>
    </message>
    <message>
        <source>メロディ棚のファイルがどれも見つかりません。</source>
        <translation>None of the melody shelf&apos;s files can be found.</translation>
    </message>
    <message>
        <source>トレモロ</source>
        <translation>Tremolo</translation>
    </message>
    <message>
        <source>次のファイルが見つかりませんでした。</source>
        <translation>The following files were not found.</translation>
    </message>
    <message>
        <source>ほか %1 件</source>
        <translation>and %1 more</translation>
    </message>
    <message>
        <source>プレイリスト %1 を読み込めませんでした。</source>
        <translation>The playlist %1 could not be read.</translation>
    </message>
    <message>
        <source>プレイリスト %1 には読み込めるメロディがありません。</source>
        <translation>The playlist %1 holds no melody that can be loaded.</translation>
    </message>
    <message>
        <source>プレイリスト %1 が長すぎるため、最初の %2 曲だけを読み込みました。</source>
        <translation>The playlist %1 is too long: only its first %2 melodies were loaded.</translation>
    </message>
    <message>
        <source>指定されたファイルが見つかりません。</source>
        <translation>The system cannot find the file specified.</translation>
    </message>
    <message>
        <source>指定されたパスが見つかりません。</source>
        <translation>The system cannot find the path specified.</translation>
    </message>
    <message>
        <source>アクセスが拒否されました。</source>
        <translation>Access is denied.</translation>
    </message>
    <message>
        <source>このコマンドを実行するのに十分な記憶域がありません。</source>
        <translation>Not enough storage is available to process this command.</translation>
    </message>
    <message>
        <source>システムはファイルを開くことができません。</source>
        <translation>The system cannot open the file.</translation>
    </message>
    <message>
        <source>ファイル名または拡張子が長すぎます。</source>
        <translation>The filename or extension is too long.</translation>
    </message>
    <message>
        <source>ファイル名を解決できませんでした。</source>
        <translation>The name of the file cannot be resolved by the system.</translation>
    </message>
    <message>
        <source>ファイル サイズが、このシステムでサポートされている上限を超えているため、操作を完了できません。</source>
        <translation>The file size exceeds the limit allowed and cannot be saved.</translation>
    </message>
    <message>
        <source>I/O デバイス エラーが発生したため、要求を実行できませんでした。</source>
        <translation>The request could not be performed because of an I/O device error.</translation>
    </message>
    <message>
        <source>不明なエラーが発生しました。(エラー番号 %1)</source>
        <translation>An unknown error occurred. (error number %1)</translation>
    </message>
    <message>
        <source>%1 秒</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>モノラル</source>
        <translation>Mono</translation>
    </message>
    <message>
        <source>ステレオ</source>
        <translation>Stereo</translation>
    </message>
    <message>
        <source>%1 ビット</source>
        <translation>%1-bit</translation>
    </message>
    <message>
        <source>ファイルの終わりに到達しました。</source>
        <translation>Reached the end of the file.</translation>
    </message>
    <message>
        <source>DirectMusicが使えません。</source>
        <translation>DirectMusic is not available.</translation>
    </message>
    <message>
        <source>%1 - トレモロ</source>
        <translation>%1 - Tremolo</translation>
    </message>
    <message>
        <source>指定されたファイル &apos;%1&apos; が読み込めませんでした。<byte value="xd"/>
<byte value="xd"/>
サポートされている形式か確認してください。</source>
        <translation>The specified file &apos;%1&apos; could not be loaded.<byte value="xd"/>
<byte value="xd"/>
Check that it is in a supported format.</translation>
    </message>
    <message>
        <source>トレモロ エラー</source>
        <translation>Tremolo Error</translation>
    </message>
    <message>
        <source>DirectSoundが使えません。<byte value="xd"/>
<byte value="xd"/>
サウンド機能とDirectXが正しくインストールされていないか、他のアプリケーションがサウンドを再生中です。</source>
        <translation>DirectSound is not available.<byte value="xd"/>
<byte value="xd"/>
Either the sound hardware and DirectX are not installed correctly, or another application is playing sound.</translation>
    </message>
    <message>
        <source>トレモロを起動できませんでした。</source>
        <translation>Tremolo could not start.</translation>
    </message>
    <message>
        <source>駅セット %1 を開けませんでした。</source>
        <translation>The station set %1 could not be opened.</translation>
    </message>
    <message>
        <source>録音できません。%1</source>
        <translation>Cannot record. %1</translation>
    </message>
    <message>
        <source>録音中: %1</source>
        <translation>Recording: %1</translation>
    </message>
    <message>
        <source>録音を止めました。%1</source>
        <translation>Recording stopped. %1</translation>
    </message>
    <message>
        <source>録音を保存しました: %1</source>
        <translation>Recording saved: %1</translation>
    </message>
    <message>
        <source>ディスクが追いつかず、録音が %1 ミリ秒抜けました。</source>
        <translation>The disk could not keep up: %1 ms of the recording are missing.</translation>
    </message>
    <message>
        <source>メロディが読み込まれていません。</source>
        <translation>No melody is loaded.</translation>
    </message>
    <message>
        <source>駅セット %1 には読み込めるメロディがありません。</source>
        <translation>The station set %1 has no melody that can be loaded.</translation>
    </message>
</context>
<context>
    <name>GlobalKeys</name>
    <message>
        <source>システム全体のキー %1 はこのキーボードでは使えません。別のキーを選んでください。</source>
        <translation>The system-wide key %1 does not exist on this keyboard. Choose another key.</translation>
    </message>
    <message>
        <source>システム全体のキー %1 は他のプログラムが使っています。別のキーを選んでください。</source>
        <translation>The system-wide key %1 is taken by another program. Choose another key.</translation>
    </message>
    <message>
        <source>システム全体のキー %1 は画面の切り替えに使われているため使えません。別のキーを選んでください。</source>
        <translation>The system-wide key %1 switches screens and cannot be used. Choose another key.</translation>
    </message>
    <message>
        <source>このデスクトップには、システム全体のキーを割り当てる方法がありません（デスクトップ ポータルに GlobalShortcuts がありません）。代わりに、デスクトップのショートカットで「playerctl -p tremolo play」を実行すると ON を押せます（押し続けにはなりません）。</source>
        <translation>This desktop offers no way to bind system-wide keys (its desktop portal has no GlobalShortcuts). Instead, a desktop shortcut that runs “playerctl -p tremolo play” presses ON (without holding it).</translation>
    </message>
    <message>
        <source>ほかのウィンドウが手前にあっても働くキーです。ただし XWayland では、X11 のウィンドウにフォーカスがあるときだけ働きます。</source>
        <translation>Keys that work even while another window is in front. Through XWayland, though, they work only while an X11 window has the focus.</translation>
    </message>
    <message>
        <source>ほかのウィンドウが手前にあっても働くキーです。</source>
        <translation>Keys that work even while another window is in front.</translation>
    </message>
    <message>
        <source>デスクトップにキーを求めています…</source>
        <translation>Asking the desktop for the keys…</translation>
    </message>
    <message>
        <source>デスクトップがキーの割り当てを断りました。</source>
        <translation>The desktop refused to bind the keys.</translation>
    </message>
    <message>
        <source>なし</source>
        <translation>none</translation>
    </message>
    <message>
        <source>デスクトップが割り当てたキー: ON %1、OFF %2</source>
        <translation>Keys the desktop bound: ON %1, OFF %2</translation>
    </message>
</context>
<context>
    <name>Input</name>
    <message>
        <source>シリアル機器 %1 が戻りました。</source>
        <translation>Serial device %1 is back.</translation>
    </message>
    <message>
        <source>シリアル機器 %1 を開きました。</source>
        <translation>Serial device %1 is open.</translation>
    </message>
    <message>
        <source>シリアル機器 %1 が外れました。戻るのを待っています。</source>
        <translation>Serial device %1 was unplugged. Waiting for it to come back.</translation>
    </message>
    <message>
        <source>シリアル機器 %1 が見つかりません。つながるのを待っています。</source>
        <translation>Serial device %1 was not found. Waiting for it to be plugged in.</translation>
    </message>
    <message>
        <source>シリアル機器 %1 を開けません。ユーザーを dialout グループに加えてください（sudo usermod -aG dialout $USER の後、ログインし直し）。</source>
        <translation>Serial device %1 cannot be opened. Add your user to the dialout group (sudo usermod -aG dialout $USER, then log in again).</translation>
    </message>
    <message>
        <source>シリアル機器 %1 のドライバーは状態線の変化を知らせません。ほかのシリアル機器をお使いください。</source>
        <translation>The driver of serial device %1 does not report changes of the status lines. Use another serial device.</translation>
    </message>
    <message>
        <source>シリアル機器 %1 には状態線（DSR・CTS・DCD・RI）がありません。スイッチはモデム制御線のあるシリアル機器につないでください。</source>
        <translation>Serial device %1 has no status lines (DSR, CTS, DCD, RI). Connect the switch to a serial device with modem control lines.</translation>
    </message>
    <message>
        <source>シリアル機器 %1 を使えません（%2）。</source>
        <translation>Serial device %1 cannot be used (%2).</translation>
    </message>
    <message>
        <source>仮想コントローラーの FIFO を開けません: %1</source>
        <translation>Cannot open the virtual controller&apos;s FIFO: %1</translation>
    </message>
</context>
<context>
    <name>OpenFileDialog</name>
    <message>
        <source>メディア ファイル (すべての種類)</source>
        <translation>Media Files (All Types)</translation>
    </message>
    <message>
        <source>MIDI ファイル (midi) (*.mid)</source>
        <translation>MIDI Files (midi) (*.mid)</translation>
    </message>
    <message>
        <source>Windows オーディオ ファイル (wav) (*.wav)</source>
        <translation>Windows Audio Files (wav) (*.wav)</translation>
    </message>
    <message>
        <source>DirectX ミュージック セグメント ファイル (*.sgt)</source>
        <translation>DirectX Music Segment Files (*.sgt)</translation>
    </message>
    <message>
        <source>圧縮オーディオ ファイル (mp3, ogg, opus, flac)</source>
        <translation>Compressed Audio Files (mp3, ogg, opus, flac)</translation>
    </message>
    <message>
        <source>プレイリスト (*.m3u, *.m3u8)</source>
        <translation>Playlists (*.m3u, *.m3u8)</translation>
    </message>
    <message>
        <source>ファイルを開く</source>
        <translation>Open File</translation>
    </message>
    <message>
        <source>駅セット (*.stations.json)</source>
        <translation>Station Sets (*.stations.json)</translation>
    </message>
</context>
<context>
    <name>PortalShortcuts</name>
    <message>
        <source>発車メロディ ON</source>
        <translation>Departure melody ON</translation>
    </message>
    <message>
        <source>発車メロディ OFF</source>
        <translation>Departure melody OFF</translation>
    </message>
</context>
<context>
    <name>Program</name>
    <message>
        <source>&#x3000;</source>
        <translation>  </translation>
    </message>
    <message>
        <source>トレモロ</source>
        <translation>Tremolo</translation>
    </message>
    <message>
        <source>リモート操作の設定を保存できませんでした</source>
        <translation>The remote control settings could not be saved</translation>
    </message>
</context>
<context>
    <name>RemoteControl</name>
    <message>
        <source>%1: ポート %2 は使えません</source>
        <translation>%1: port %2 cannot be used</translation>
    </message>
    <message>
        <source>%1: ポート %2 を開けません（%3）</source>
        <translation>%1: cannot open port %2 (%3)</translation>
    </message>
</context>
<context>
    <name>RemotePanel</name>
    <message>
        <source>OSC を受け付ける(&amp;O)</source>
        <translation>Accept &amp;OSC</translation>
    </message>
    <message>
        <source>スマートフォン用のページを開く(&amp;W)</source>
        <translation>Serve the &amp;web page for phones</translation>
    </message>
    <message>
        <source>ほかのコンピューターからの操作を許可する(&amp;L)</source>
        <translation>A&amp;llow control from other computers</translation>
    </message>
    <message>
        <source>トークンを作り直す(&amp;R)</source>
        <translation>&amp;Renew token</translation>
    </message>
    <message>
        <source>ポート</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>トークン</source>
        <translation>Token</translation>
    </message>
    <message>
        <source>デスクトップのメディア操作 (MPRIS) はいつでも使えます。</source>
        <translation>The desktop&apos;s media controls (MPRIS) always work.</translation>
    </message>
    <message>
        <source>リモート操作</source>
        <translation>Remote</translation>
    </message>
    <message>
        <source>OSC のポート</source>
        <translation>OSC port</translation>
    </message>
    <message>
        <source>スマートフォン用のページのポート</source>
        <translation>Phone page port</translation>
    </message>
</context>
<context>
    <name>StationSet</name>
    <message>
        <source>%1 行 %2 列</source>
        <translation>line %1, column %2</translation>
    </message>
    <message>
        <source>%1 の %2 がありません。</source>
        <translation>%1: %2 is missing.</translation>
    </message>
    <message>
        <source>%1 の %2 は文字列でなければなりません。</source>
        <translation>%1: %2 must be a string.</translation>
    </message>
    <message>
        <source>%1 の %2 が空です。</source>
        <translation>%1: %2 is empty.</translation>
    </message>
    <message>
        <source>%1 の %2 は配列でなければなりません。</source>
        <translation>%1: %2 must be an array.</translation>
    </message>
    <message>
        <source>%1 はオブジェクトでなければなりません。</source>
        <translation>%1 must be an object.</translation>
    </message>
    <message>
        <source>%1 の %2 はファイル名か null でなければなりません。</source>
        <translation>%1: %2 must be a file name or null.</translation>
    </message>
    <message>
        <source>%1 の %2 は %3 のどれかでなければなりません。</source>
        <translation>%1: %2 must be one of %3.</translation>
    </message>
    <message>
        <source>%1 の %2 はオブジェクトでなければなりません。</source>
        <translation>%1: %2 must be an object.</translation>
    </message>
    <message>
        <source>%1 の %2 は 0 から 100 までの整数でなければなりません。</source>
        <translation>%1: %2 must be a whole number from 0 to 100.</translation>
    </message>
    <message>
        <source>&quot;none&quot;、&quot;tokyo&quot;、&quot;tachikawa&quot;、&quot;urawa&quot;</source>
        <translation>&quot;none&quot;, &quot;tokyo&quot;, &quot;tachikawa&quot;, &quot;urawa&quot;</translation>
    </message>
    <message>
        <source>&quot;centre&quot;、&quot;left&quot;、&quot;right&quot;</source>
        <translation>&quot;centre&quot;, &quot;left&quot;, &quot;right&quot;</translation>
    </message>
    <message>
        <source>駅セットのファイルではありません (全体が JSON のオブジェクトではありません)。</source>
        <translation>This is not a station set file (the whole is not a JSON object).</translation>
    </message>
    <message>
        <source>駅セットのファイルではありません (%1 がありません)。</source>
        <translation>This is not a station set file (%1 is missing).</translation>
    </message>
    <message>
        <source>%1 は 1 以上の整数でなければなりません。</source>
        <translation>%1 must be a whole number of 1 or more.</translation>
    </message>
    <message>
        <source>この駅セットは新しい形式 (版 %1) で書かれています。このプログラムが読めるのは版 %2 までです。新しいトレモロで開いてください。</source>
        <translation>This station set is written in a newer format (version %1). This program reads up to version %2. Open it with a newer Tremolo.</translation>
    </message>
    <message>
        <source>駅セット</source>
        <translation>Station set</translation>
    </message>
    <message>
        <source>路線</source>
        <translation>Line</translation>
    </message>
    <message>
        <source>駅</source>
        <translation>Station</translation>
    </message>
    <message>
        <source>駅セットのホームが多すぎます (%1 まで)。</source>
        <translation>The station set has too many platforms (at most %1).</translation>
    </message>
    <message>
        <source>ホーム</source>
        <translation>Platform</translation>
    </message>
    <message>
        <source>駅セットにホームが一つもありません。</source>
        <translation>The station set has no platforms.</translation>
    </message>
    <message>
        <source>駅セットのファイルが大きすぎます (%1 MB まで)。</source>
        <translation>The station set file is too large (at most %1 MB).</translation>
    </message>
    <message>
        <source>%1: 入れ子が深すぎます。</source>
        <translation>%1: nested too deeply.</translation>
    </message>
    <message>
        <source>%1: JSON の書き方が正しくありません。</source>
        <translation>%1: this is not valid JSON.</translation>
    </message>
    <message>
        <source>駅セットを読み込めませんでした。</source>
        <translation>The station set could not be read.</translation>
    </message>
    <message>
        <source>%1 の %2 のファイル &apos;%3&apos; が見つかりません。</source>
        <translation>%1: the file &apos;%3&apos; of %2 was not found.</translation>
    </message>
    <message>
        <source>ファイルを読み込めませんでした。</source>
        <translation>The file could not be read.</translation>
    </message>
    <message>
        <source>駅セット &apos;%1&apos; に書き込めませんでした: %2</source>
        <translation>Could not write to the station set &apos;%1&apos;: %2</translation>
    </message>
    <message>
        <source>路線、駅、ホームの名前が要ります。</source>
        <translation>The line, the station and the platform each need a name.</translation>
    </message>
    <message>
        <source>ファイル名が正しくありません。</source>
        <translation>The file name is not valid.</translation>
    </message>
    <message>
        <source>名前が正しい UTF-8 ではありません。</source>
        <translation>A name is not valid UTF-8.</translation>
    </message>
    <message>
        <source>ファイルを書き込めませんでした (フォルダーに書き込めないか、ディスクがいっぱいです)。</source>
        <translation>Could not write the file (the folder cannot be written to, or the disk is full).</translation>
    </message>
    <message>
        <source>ファイルが見つかりません (移動、名前の変更、削除がされたか、フォルダーが外されたかもしれません)。</source>
        <translation>The file is not there (it may have been moved, renamed or deleted, or its folder unmounted).</translation>
    </message>
    <message>
        <source>ファイルは読み取り専用です。</source>
        <translation>The file is read-only.</translation>
    </message>
</context>
<context>
    <name>SwitchBox</name>
    <message>
        <source>入力機器の設定を %1 に保存できませんでした。いまの割り当ては次に起動したときには元に戻ります。</source>
        <translation>The input device settings could not be saved to %1. The current assignments will be lost at the next start.</translation>
    </message>
</context>
<context>
    <name>WindowPlacement</name>
    <message>
        <source>Wayland では、プログラムから常に手前に表示することはできません。デスクトップのウィンドウ メニューにある「常に手前に表示」を使ってください。</source>
        <translation>On Wayland a program cannot keep itself on top. Use “Always on Top” in the desktop’s window menu.</translation>
    </message>
</context>
<context>
    <name>frmAbout</name>
    <message>
        <source>トレモロ</source>
        <translation>Tremolo</translation>
    </message>
    <message>
        <source>バージョン %1.%2.%3</source>
        <translation>Version %1.%2.%3</translation>
    </message>
    <message>
        <source>%1 のバージョン情報</source>
        <translation>About %1</translation>
    </message>
    <message>
        <source>© 2026 トレモロ開発者。フリーソフトです。</source>
        <translation>© 2026 the Tremolo developers. Free software.</translation>
    </message>
</context>
<context>
    <name>frmAddPlatform</name>
    <message>
        <source>この設定を駅セットに追加</source>
        <translation>Add These Settings to a Station Set</translation>
    </message>
    <message>
        <source>路線(&amp;L):</source>
        <translation>&amp;Line:</translation>
    </message>
    <message>
        <source>駅(&amp;S):</source>
        <translation>&amp;Station:</translation>
    </message>
    <message>
        <source>ホーム(&amp;P):</source>
        <translation>&amp;Platform:</translation>
    </message>
</context>
<context>
    <name>frmInput</name>
    <message>
        <source>ゲームコントローラー</source>
        <translation>Game controller</translation>
    </message>
    <message>
        <source>シリアル</source>
        <translation>Serial</translation>
    </message>
    <message>
        <source>「ON」</source>
        <translation>“ON”</translation>
    </message>
    <message>
        <source>「OFF」</source>
        <translation>“OFF”</translation>
    </message>
    <message>
        <source>（反転）</source>
        <translation> (inverted)</translation>
    </message>
    <message>
        <source>%1 線</source>
        <translation>%1 line</translation>
    </message>
    <message>
        <source>ボタン</source>
        <translation>button</translation>
    </message>
    <message>
        <source>ハット</source>
        <translation>hat</translation>
    </message>
    <message>
        <source>軸</source>
        <translation>axis</translation>
    </message>
    <message>
        <source>上</source>
        <translation>up</translation>
    </message>
    <message>
        <source>下</source>
        <translation>down</translation>
    </message>
    <message>
        <source>左</source>
        <translation>left</translation>
    </message>
    <message>
        <source>右</source>
        <translation>right</translation>
    </message>
    <message>
        <source>チャンネル</source>
        <translation>channel</translation>
    </message>
    <message>
        <source>ノート</source>
        <translation>note</translation>
    </message>
    <message>
        <source>コントロール</source>
        <translation>control</translation>
    </message>
    <message>
        <source>「ON」の入力を取得(&amp;N)</source>
        <translation>Capture for O&amp;N</translation>
    </message>
    <message>
        <source>「OFF」の入力を取得(&amp;F)</source>
        <translation>Capture for O&amp;FF</translation>
    </message>
    <message>
        <source>(なし)</source>
        <translation>(none)</translation>
    </message>
    <message>
        <source>どの機器でも</source>
        <translation>any device</translation>
    </message>
    <message>
        <source>（未接続）</source>
        <translation> (not connected)</translation>
    </message>
    <message>
        <source>%1「%2」 %3</source>
        <translation>%1 “%2” %3</translation>
    </message>
    <message>
        <source>入力機器の設定</source>
        <translation>Input Devices</translation>
    </message>
    <message>
        <source>見つかった機器</source>
        <translation>Devices found</translation>
    </message>
    <message>
        <source>シリアル機器から取得するときは、一覧でその機器を選んでください（選んだ機器の DTR・RTS 線を上げます）。</source>
        <translation>To capture from a serial device, select it in the list (its DTR and RTS lines are raised).</translation>
    </message>
    <message>
        <source>一覧を更新(&amp;R)</source>
        <translation>&amp;Refresh</translation>
    </message>
    <message>
        <source>ボタンの割り当て</source>
        <translation>Button assignments</translation>
    </message>
    <message>
        <source>解除</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>システム全体のキー</source>
        <translation>System-wide keys</translation>
    </message>
    <message>
        <source>ほかのウィンドウが手前にあっても働くキーです（X11 のみ）。</source>
        <translation>Keys that work even when another window is in front (X11 only).</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>(見つかりません)</source>
        <translation>(none found)</translation>
    </message>
    <message>
        <source>取得をやめる</source>
        <translation>Stop capturing</translation>
    </message>
    <message>
        <source>%1に使うボタンやペダルを操作してください。</source>
        <translation>Press the button or pedal to use for %1.</translation>
    </message>
</context>
<context>
    <name>frmKey</name>
    <message>
        <source>キー番号の取得</source>
        <translation>Key code</translation>
    </message>
    <message>
        <source>キー番号を取得します。割り当てたいキーを押してください。</source>
        <translation>Press the key you want to assign.</translation>
    </message>
</context>
<context>
    <name>frmMain</name>
    <message>
        <source>トレモロ</source>
        <translation>Tremolo</translation>
    </message>
    <message>
        <source>ON</source>
        <translation>ON</translation>
    </message>
    <message>
        <source>OFF</source>
        <translation>OFF</translation>
    </message>
    <message>
        <source>メロディを止めます</source>
        <translation>Stops the melody</translation>
    </message>
    <message>
        <source>メロディを鳴らします。「OFF」まで鳴り続けます</source>
        <translation>Starts the melody; it plays until OFF</translation>
    </message>
    <message>
        <source>押している間、メロディを鳴らします</source>
        <translation>Plays the melody while held down</translation>
    </message>
    <message>
        <source>キーを離します</source>
        <translation>Lets the key go</translation>
    </message>
    <message>
        <source>離す</source>
        <translation>Release</translation>
    </message>
    <message>
        <source>押す</source>
        <translation>Press</translation>
    </message>
</context>
<context>
    <name>frmMenus</name>
    <message>
        <source>ショートカット メニュー(&amp;M)</source>
        <translation>Shortcut &amp;Menu</translation>
    </message>
    <message>
        <source>開く(&amp;O)...</source>
        <translation>&amp;Open...</translation>
    </message>
    <message>
        <source>メロディ(&amp;M)</source>
        <translation>&amp;Melodies</translation>
    </message>
    <message>
        <source>次のメロディ(&amp;N)</source>
        <translation>&amp;Next Melody</translation>
    </message>
    <message>
        <source>前のメロディ(&amp;P)</source>
        <translation>&amp;Previous Melody</translation>
    </message>
    <message>
        <source>ドア閉め放送(&amp;D)</source>
        <translation>&amp;Door Announcement</translation>
    </message>
    <message>
        <source>ドア閉め放送を再生する(&amp;U)</source>
        <translation>&amp;Use Door Announcement</translation>
    </message>
    <message>
        <source>環境音(&amp;N)</source>
        <translation>Ambie&amp;nce</translation>
    </message>
    <message>
        <source>環境音を再生する(&amp;U)</source>
        <translation>&amp;Use Ambience</translation>
    </message>
    <message>
        <source>エフェクト(&amp;E)</source>
        <translation>&amp;Effects</translation>
    </message>
    <message>
        <source>東京(&amp;Y)</source>
        <translation>Tok&amp;yo</translation>
    </message>
    <message>
        <source>立川(&amp;C)</source>
        <translation>Ta&amp;chikawa</translation>
    </message>
    <message>
        <source>浦和(&amp;U)</source>
        <translation>&amp;Urawa</translation>
    </message>
    <message>
        <source>再生速度(&amp;S)</source>
        <translation>Playback &amp;Speed</translation>
    </message>
    <message>
        <source>振り分け(&amp;P)</source>
        <translation>&amp;Pan</translation>
    </message>
    <message>
        <source>中央(&amp;C)</source>
        <translation>&amp;Centre</translation>
    </message>
    <message>
        <source>左(&amp;L)</source>
        <translation>&amp;Left</translation>
    </message>
    <message>
        <source>右(&amp;R)</source>
        <translation>&amp;Right</translation>
    </message>
    <message>
        <source>常に手前に表示(&amp;T)</source>
        <translation>Always on &amp;Top</translation>
    </message>
    <message>
        <source>ステータスパネルを表示(&amp;V)</source>
        <translation>Show Status Panel (&amp;V)</translation>
    </message>
    <message>
        <source>オプション(&amp;O)...</source>
        <translation>&amp;Options...</translation>
    </message>
    <message>
        <source>入力機器の設定(&amp;I)...</source>
        <translation>&amp;Input Devices...</translation>
    </message>
    <message>
        <source>バージョン情報(&amp;A)</source>
        <translation>&amp;About</translation>
    </message>
    <message>
        <source>ヘルプ(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>終了(&amp;X)</source>
        <translation>E&amp;xit</translation>
    </message>
    <message>
        <source>オプション</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>環境音(&amp;V)</source>
        <translation>Ambience (&amp;V)</translation>
    </message>
    <message>
        <source>この設定を駅セットに追加(&amp;A)...</source>
        <translation>&amp;Add These Settings to a Station Set...</translation>
    </message>
</context>
<context>
    <name>frmOptions</name>
    <message>
        <source>キー番号: </source>
        <translation>Key code: </translation>
    </message>
    <message>
        <source>オプション</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>サウンド</source>
        <translation>Sound</translation>
    </message>
    <message>
        <source>動作</source>
        <translation>Behaviour</translation>
    </message>
    <message>
        <source>表示</source>
        <translation>Display</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>言語の設定を保存できませんでした。次の起動も同じ言語で表示します。</source>
        <translation>The language could not be saved. The next start will use the same language as before.</translation>
    </message>
    <message>
        <source>ドア閉め放送</source>
        <translation>Door announcement</translation>
    </message>
    <message>
        <source>ドア閉め放送を再生する(&amp;D)</source>
        <translation>Play the &amp;door announcement</translation>
    </message>
    <message>
        <source>遅延</source>
        <translation>Delay</translation>
    </message>
    <message>
        <source>ミリ秒(&amp;L)</source>
        <translation>ms (&amp;L)</translation>
    </message>
    <message>
        <source>閾値</source>
        <translation>Threshold</translation>
    </message>
    <message>
        <source>ミリ秒(&amp;T)</source>
        <translation>ms (&amp;T)</translation>
    </message>
    <message>
        <source>サウンドの再生中はドア閉め放送を再生しない(&amp;C)</source>
        <translation>Do not play it while a sound is playing (&amp;C)</translation>
    </message>
    <message>
        <source>ドア閉め放送の再生中でも新たにドア閉め放送を再生する(&amp;I)</source>
        <translation>Start it again even while it is playing (&amp;I)</translation>
    </message>
    <message>
        <source>その他</source>
        <translation>Other</translation>
    </message>
    <message>
        <source>「ON」ボタンが戻る音を再生する(&amp;K)</source>
        <translation>Play the sound of the ON button coming bac&amp;k</translation>
    </message>
    <message>
        <source>サウンドの再生開始時と停止時にノイズを再生する(&amp;N)</source>
        <translation>Play &amp;noise when a sound starts and stops</translation>
    </message>
    <message>
        <source>環境音を再生する(&amp;E)</source>
        <translation>Play the ambi&amp;ence</translation>
    </message>
    <message>
        <source>キーの割り当て</source>
        <translation>Key assignment</translation>
    </message>
    <message>
        <source>トレモロの操作に使用するキーを追加で割り当てることができます。</source>
        <translation>You can assign extra keys to operate Tremolo.</translation>
    </message>
    <message>
        <source>割り当てられたキー:</source>
        <translation>Assigned key:</translation>
    </message>
    <message>
        <source>キー番号: 00000</source>
        <translation>Key code: 00000</translation>
    </message>
    <message>
        <source>「ON」に割り当てるキーを指定する(&amp;N)</source>
        <translation>Choose the key for O&amp;N</translation>
    </message>
    <message>
        <source>「OFF」に割り当てるキーを指定する(&amp;F)</source>
        <translation>Choose the key for O&amp;FF</translation>
    </message>
    <message>
        <source>入力機器の設定(&amp;I)...</source>
        <translation>&amp;Input Devices...</translation>
    </message>
    <message>
        <source>動作の詳細設定</source>
        <translation>Details</translation>
    </message>
    <message>
        <source>起動時やファイルのドロップ時にサウンドを自動再生する(&amp;P)</source>
        <translation>&amp;Play the sound at start and when a file is dropped</translation>
    </message>
    <message>
        <source>「ON」ボタンをロックしない(&amp;L)</source>
        <translation>Do not &amp;lock the ON button</translation>
    </message>
    <message>
        <source>ShiftForceを使用する(&amp;S)</source>
        <translation>Use &amp;ShiftForce</translation>
    </message>
    <message>
        <source>ウィンドウ</source>
        <translation>Window</translation>
    </message>
    <message>
        <source>ステータスパネルを表示する(&amp;V)</source>
        <translation>Show the status panel (&amp;V)</translation>
    </message>
    <message>
        <source>常に手前に表示する(&amp;T)</source>
        <translation>Always on &amp;top</translation>
    </message>
    <message>
        <source>終了時と同じ位置にウィンドウを表示する(&amp;F)</source>
        <translation>Open the window where it was at exit (&amp;F)</translation>
    </message>
    <message>
        <source>言語</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>自動</source>
        <translation>Automatic</translation>
    </message>
    <message>
        <source>表示する言語(&amp;G):</source>
        <translation>Lan&amp;guage:</translation>
    </message>
    <message>
        <source>次にトレモロを起動したときから使われます。</source>
        <translation>Takes effect the next time Tremolo starts.</translation>
    </message>
</context>
<context>
    <name>frmStatus</name>
    <message>
        <source>トレモロ</source>
        <translation>Tremolo</translation>
    </message>
    <message>
        <source>サウンドや設定の情報を表示します</source>
        <translation>Shows the sound and the settings</translation>
    </message>
    <message>
        <source>振り分けの設定</source>
        <translation>Pan</translation>
    </message>
    <message>
        <source>ドア閉め放送の設定</source>
        <translation>Door announcement</translation>
    </message>
    <message>
        <source>環境音の設定</source>
        <translation>Ambience</translation>
    </message>
    <message>
        <source>エフェクト「東京」</source>
        <translation>Effect “Tokyo”</translation>
    </message>
    <message>
        <source>エフェクト「立川」</source>
        <translation>Effect “Tachikawa”</translation>
    </message>
    <message>
        <source>エフェクト「浦和」</source>
        <translation>Effect “Urawa”</translation>
    </message>
    <message>
        <source>ファイルが選択されていません。</source>
        <translation>No file is selected.</translation>
    </message>
    <message>
        <source>ファイルを開く</source>
        <translation>Open a file</translation>
    </message>
    <message>
        <source>サウンド</source>
        <translation>Sound</translation>
    </message>
    <message>
        <source>エフェクトとドア閉め放送の設定</source>
        <translation>Effects and door announcement</translation>
    </message>
    <message>
        <source>ドア閉め放送</source>
        <translation>Door announcement</translation>
    </message>
    <message>
        <source>「エフェクト」を選びます</source>
        <translation>Chooses the effects</translation>
    </message>
    <message>
        <source>「バージョン情報」を開きます</source>
        <translation>Opens “About”</translation>
    </message>
    <message>
        <source>「オプション」を開きます</source>
        <translation>Opens “Options”</translation>
    </message>
    <message>
        <source>「トレモロ」を終了します</source>
        <translation>Exits Tremolo</translation>
    </message>
    <message>
        <source>読み込んだファイル</source>
        <translation>The loaded file</translation>
    </message>
    <message>
        <source>メロディのランプ</source>
        <translation>Melody lamp</translation>
    </message>
    <message>
        <source>ドア閉め放送のランプ</source>
        <translation>Door announcement lamp</translation>
    </message>
    <message>
        <source>%1: 点灯</source>
        <translation>%1: on</translation>
    </message>
    <message>
        <source>%1: 消灯</source>
        <translation>%1: off</translation>
    </message>
</context>
<context>
    <name>frmVolume</name>
    <message>
        <source>再生速度</source>
        <translation>Playback Speed</translation>
    </message>
    <message>
        <source>遅い</source>
        <translation>Slow</translation>
    </message>
    <message>
        <source>速い</source>
        <translation>Fast</translation>
    </message>
    <message>
        <source>再生速度の変更はWAVEファイルの再生時のみ適用されます。</source>
        <translation>Speed changes apply only to WAVE files.</translation>
    </message>
    <message>
        <source>閉じる(&amp;C)</source>
        <translation>&amp;Close</translation>
    </message>
</context>
<context>
    <name>tremlo::ui::VolumePage</name>
    <message>
        <source>音量</source>
        <translation>Volume</translation>
    </message>
    <message>
        <source>メロディ</source>
        <translation>Melody</translation>
    </message>
    <message>
        <source>ドア案内</source>
        <translation>Door announcement</translation>
    </message>
    <message>
        <source>環境音</source>
        <translation>Ambience</translation>
    </message>
    <message>
        <source>スイッチ音</source>
        <translation>Switch click</translation>
    </message>
    <message>
        <source>ノイズ</source>
        <translation>Noise</translation>
    </message>
</context>
<context>
    <name>tremlo::ui::frmMenus</name>
    <message>
        <source>録音(&amp;R)</source>
        <translation>&amp;Record</translation>
    </message>
</context>
</TS>
