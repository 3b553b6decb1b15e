<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AboutDialog</name>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>Tunora Player</source>
        <translation>Tunora Player</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>Tunora Player plays internet radio stations from an on-line directory of stations, sorted by genre, region and country, and finds stations by what they play now.

While a station plays it shows the artist and song, the song played before it and the album cover, keeps the songs heard in a track history and the songs you like on a wish list.

Favourite stations and the stations you listened to are kept on your account.</source>
        <translation>Tunora Player spielt Internetradiosender aus einem Online-Senderverzeichnis ab, sortiert nach Genre, Region und Land, und findet Sender danach, was sie gerade spielen.

Während ein Sender läuft, werden Interpret und Titel, der zuvor gespielte Titel und das Albumcover angezeigt; gehörte Titel landen im Titelverlauf, Titel, die dir gefallen, auf der Wunschliste.

Lieblingssender und die Sender, die du gehört hast, werden in deinem Konto gespeichert.</translation>
    </message>
</context>
<context>
    <name>BASS::BaseRadioAPI</name>
    <message>
        <source>The data returned from the server was not in the correct format.</source>
        <translation>Die vom Server gelieferten Daten hatten nicht das richtige Format.</translation>
    </message>
    <message>
        <source>The reply is larger than %1 bytes.</source>
        <translation>Die Antwort ist größer als %1 Byte.</translation>
    </message>
    <message>
        <source>An element carries more than %1 attributes.</source>
        <translation>Ein Element hat mehr als %1 Attribute.</translation>
    </message>
    <message>
        <source>Elements are nested more than %1 deep.</source>
        <translation>Elemente sind tiefer als %1 Ebenen verschachtelt.</translation>
    </message>
    <message>
        <source>Invalid URL specified</source>
        <translation>Ungültige Adresse angegeben</translation>
    </message>
    <message>
        <source>Http</source>
        <translation>HTTP</translation>
    </message>
</context>
<context>
    <name>BASS::CoverArt</name>
    <message>
        <source>Searching for cover art...</source>
        <translation>Suche nach Cover...</translation>
    </message>
    <message>
        <source>Cover art found</source>
        <translation>Cover gefunden</translation>
    </message>
    <message>
        <source>Cover art not found</source>
        <translation>Kein Cover gefunden</translation>
    </message>
    <message>
        <source>Searching for lyrics...</source>
        <translation>Suche nach Liedtext...</translation>
    </message>
    <message>
        <source>Lyrics Found</source>
        <translation>Liedtext gefunden</translation>
    </message>
    <message>
        <source>Lyrics not found</source>
        <translation>Kein Liedtext gefunden</translation>
    </message>
    <message>
        <source>Nothing found about</source>
        <translation>Nichts gefunden über</translation>
    </message>
    <message>
        <source>Click here to search Google in your default browser</source>
        <translation>Hier klicken, um im Standardbrowser im Web zu suchen</translation>
    </message>
</context>
<context>
    <name>BASS::HttpDownloadDlg</name>
    <message>
        <source>Please wait</source>
        <translation>Bitte warten</translation>
    </message>
    <message>
        <source>Downloading</source>
        <translation>Herunterladen</translation>
    </message>
    <message>
        <source>Connecting</source>
        <translation>Verbinden</translation>
    </message>
    <message>
        <source>kb</source>
        <translation>KB</translation>
    </message>
    <message>
        <source>mb</source>
        <translation>MB</translation>
    </message>
    <message>
        <source>gb</source>
        <translation>GB</translation>
    </message>
    <message>
        <source>tb</source>
        <translation>TB</translation>
    </message>
</context>
<context>
    <name>BASS::MprisPlayer</name>
    <message>
        <source>Unknown Station</source>
        <translation>Unbekannter Sender</translation>
    </message>
</context>
<context>
    <name>BASS::QHttpExt</name>
    <message>
        <source>No error condition. Note: When the HTTP protocol returns a redirect no error will be reported. You can check if there is a redirect with the QNetworkRequest::RedirectionTargetAttribute attribute.</source>
        <translation>Kein Fehler. Hinweis: Eine HTTP-Weiterleitung wird nicht als Fehler gemeldet. Ob eine Weiterleitung vorliegt, zeigt das Attribut QNetworkRequest::RedirectionTargetAttribute.</translation>
    </message>
    <message>
        <source>The remote server refused the connection (the server is not accepting requests)</source>
        <translation>Der Server hat die Verbindung abgelehnt (er nimmt keine Anfragen an)</translation>
    </message>
    <message>
        <source>The remote server closed the connection prematurely, before the entire reply was received and processed</source>
        <translation>Der Server hat die Verbindung vorzeitig geschlossen, bevor die ganze Antwort empfangen und verarbeitet war</translation>
    </message>
    <message>
        <source>The remote host name was not found (invalid hostname)</source>
        <translation>Der Servername wurde nicht gefunden (ungültiger Name)</translation>
    </message>
    <message>
        <source>The connection to the remote server timed out</source>
        <translation>Zeitüberschreitung bei der Verbindung zum Server</translation>
    </message>
    <message>
        <source>The operation was canceled via calls to abort() or close() before it was finished.</source>
        <translation>Der Vorgang wurde mit abort() oder close() abgebrochen, bevor er beendet war.</translation>
    </message>
    <message>
        <source>The SSL/TLS handshake failed and the encrypted channel could not be established. The sslErrors() signal should have been emitted.</source>
        <translation>Der SSL/TLS-Handshake ist fehlgeschlagen, die verschlüsselte Verbindung konnte nicht aufgebaut werden. Das Signal sslErrors() sollte gesendet worden sein.</translation>
    </message>
    <message>
        <source>The connection to the proxy server was refused (the proxy server is not accepting requests)</source>
        <translation>Der Proxyserver hat die Verbindung abgelehnt (er nimmt keine Anfragen an)</translation>
    </message>
    <message>
        <source>The proxy server closed the connection prematurely, before the entire reply was received and processed</source>
        <translation>Der Proxyserver hat die Verbindung vorzeitig geschlossen, bevor die ganze Antwort empfangen und verarbeitet war</translation>
    </message>
    <message>
        <source>The proxy host name was not found (invalid proxy hostname)</source>
        <translation>Der Name des Proxyservers wurde nicht gefunden (ungültiger Name)</translation>
    </message>
    <message>
        <source>The connection to the proxy timed out or the proxy did not reply in time to the request sent</source>
        <translation>Zeitüberschreitung bei der Verbindung zum Proxy, oder er hat nicht rechtzeitig geantwortet</translation>
    </message>
    <message>
        <source>The proxy requires authentication in order to honour the request but did not accept any credentials offered (if any)</source>
        <translation>Der Proxy verlangt eine Anmeldung und hat die angebotenen Zugangsdaten (falls vorhanden) nicht angenommen</translation>
    </message>
    <message>
        <source>The access to the remote content was denied (similar to HTTP error 401)</source>
        <translation>Der Zugriff auf den Inhalt wurde verweigert (ähnlich HTTP-Fehler 401)</translation>
    </message>
    <message>
        <source>The operation requested on the remote content is not permitted</source>
        <translation>Der angeforderte Vorgang ist für diesen Inhalt nicht erlaubt</translation>
    </message>
    <message>
        <source>The remote content was not found at the server (similar to HTTP error 404)</source>
        <translation>Der Inhalt wurde auf dem Server nicht gefunden (ähnlich HTTP-Fehler 404)</translation>
    </message>
    <message>
        <source>The remote server requires authentication to serve the content but the credentials provided were not accepted (if any)</source>
        <translation>Der Server verlangt eine Anmeldung und hat die angegebenen Zugangsdaten (falls vorhanden) nicht angenommen</translation>
    </message>
    <message>
        <source>The request needed to be sent again, but this failed for example because the upload data could not be read a second time.</source>
        <translation>Die Anfrage musste erneut gesendet werden, was fehlschlug, etwa weil die hochzuladenden Daten nicht noch einmal gelesen werden konnten.</translation>
    </message>
    <message>
        <source>The Network Access API cannot honor the request because the protocol is not known.</source>
        <translation>Die Anfrage kann nicht ausgeführt werden, weil das Protokoll unbekannt ist.</translation>
    </message>
    <message>
        <source>Please go to settings and check &apos;Use old but compatible network library&apos; if this problem persists.</source>
        <translation>Wenn das Problem bleibt, aktiviere in den Einstellungen „Alte, aber kompatible Netzwerkbibliothek verwenden“.</translation>
    </message>
    <message>
        <source>The requested operation is invalid for this protocol</source>
        <translation>Der angeforderte Vorgang ist für dieses Protokoll ungültig</translation>
    </message>
    <message>
        <source>An unknown network-related error was detected</source>
        <translation>Ein unbekannter Netzwerkfehler ist aufgetreten</translation>
    </message>
    <message>
        <source>An unknown proxy-related error was detected</source>
        <translation>Ein unbekannter Proxyfehler ist aufgetreten</translation>
    </message>
    <message>
        <source>An unknown error related to the remote content was detected</source>
        <translation>Ein unbekannter Fehler beim entfernten Inhalt ist aufgetreten</translation>
    </message>
    <message>
        <source>A breakdown in protocol was detected (parsing error, invalid or unexpected responses, etc.)</source>
        <translation>Ein Protokollfehler ist aufgetreten (Lesefehler, ungültige oder unerwartete Antworten usw.)</translation>
    </message>
    <message>
        <source>Invalid URL: %1</source>
        <translation>Ungültige Adresse: %1</translation>
    </message>
    <message>
        <source>Http</source>
        <translation>HTTP</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Herunterladen</translation>
    </message>
    <message>
        <source>There already exists a file called %1 in the current directory. Overwrite?</source>
        <translation>Im aktuellen Ordner gibt es schon eine Datei namens %1. Überschreiben?</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Unable to save file.</source>
        <translation>Die Datei kann nicht gespeichert werden.</translation>
    </message>
    <message>
        <source>Unable to write to file %1: %2</source>
        <translation>In die Datei %1 kann nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>The reply is larger than %1 bytes.</source>
        <translation>Die Antwort ist größer als %1 Byte.</translation>
    </message>
    <message>
        <source>Too many redirects (more than %1).</source>
        <translation>Zu viele Weiterleitungen (mehr als %1).</translation>
    </message>
    <message>
        <source>The server answered %1 instead of the file.</source>
        <translation>Der Server antwortete mit %1 statt mit der Datei.</translation>
    </message>
</context>
<context>
    <name>BassQt</name>
    <message>
        <source>Tunora Player</source>
        <translation>Tunora Player</translation>
    </message>
</context>
<context>
    <name>CBass</name>
    <message>
        <source>Memory error</source>
        <translation>Speicherfehler</translation>
    </message>
    <message>
        <source>Can&apos;t open the file</source>
        <translation>Die Datei kann nicht geöffnet werden</translation>
    </message>
    <message>
        <source>Can&apos;t find a free/valid driver</source>
        <translation>Kein freier oder gültiger Treiber gefunden</translation>
    </message>
    <message>
        <source>The sample buffer was lost</source>
        <translation>Der Sample-Puffer ging verloren</translation>
    </message>
    <message>
        <source>Invalid handle</source>
        <translation>Ungültiges Handle</translation>
    </message>
    <message>
        <source>Unsupported sample format</source>
        <translation>Nicht unterstütztes Sample-Format</translation>
    </message>
    <message>
        <source>Invalid playback position</source>
        <translation>Ungültige Wiedergabeposition</translation>
    </message>
    <message>
        <source>BASS_Init was not successfully called</source>
        <translation>Die Audio-Ausgabe wurde nicht erfolgreich initialisiert (BASS_Init)</translation>
    </message>
    <message>
        <source>BASS_Start was not successfully called</source>
        <translation>Die Audio-Ausgabe wurde nicht erfolgreich gestartet (BASS_Start)</translation>
    </message>
    <message>
        <source>Already initialized/paused/etc</source>
        <translation>Bereits initialisiert, angehalten o. Ä.</translation>
    </message>
    <message>
        <source>Can&apos;t get a free channel</source>
        <translation>Kein freier Kanal verfügbar</translation>
    </message>
    <message>
        <source>An illegal type was specified</source>
        <translation>Ein unzulässiger Typ wurde angegeben</translation>
    </message>
    <message>
        <source>An illegal parameter was specified</source>
        <translation>Ein unzulässiger Parameter wurde angegeben</translation>
    </message>
    <message>
        <source>No 3D support</source>
        <translation>Keine 3D-Unterstützung</translation>
    </message>
    <message>
        <source>No EAX support</source>
        <translation>Keine EAX-Unterstützung</translation>
    </message>
    <message>
        <source>Illegal device number</source>
        <translation>Ungültige Gerätenummer</translation>
    </message>
    <message>
        <source>Not playing</source>
        <translation>Keine Wiedergabe</translation>
    </message>
    <message>
        <source>Illegal sample rate</source>
        <translation>Ungültige Abtastrate</translation>
    </message>
    <message>
        <source>The stream is not a file stream</source>
        <translation>Der Stream ist kein Datei-Stream</translation>
    </message>
    <message>
        <source>No hardware voices available</source>
        <translation>Keine Hardware-Stimmen verfügbar</translation>
    </message>
    <message>
        <source>The MOD music has no sequence data</source>
        <translation>Die MOD-Musik hat keine Sequenzdaten</translation>
    </message>
    <message>
        <source>No internet connection could be opened</source>
        <translation>Es konnte keine Internetverbindung hergestellt werden</translation>
    </message>
    <message>
        <source>Couldn&apos;t create the file</source>
        <translation>Die Datei konnte nicht angelegt werden</translation>
    </message>
    <message>
        <source>Effects are not available</source>
        <translation>Effekte sind nicht verfügbar</translation>
    </message>
    <message>
        <source>Requested data is not available</source>
        <translation>Die angeforderten Daten sind nicht verfügbar</translation>
    </message>
    <message>
        <source>The channel is a decoding channel</source>
        <translation>Der Kanal ist ein Dekodierkanal</translation>
    </message>
    <message>
        <source>Sufficient DirectX version is not installed</source>
        <translation>Die nötige Version der Audio-Schnittstelle ist nicht installiert</translation>
    </message>
    <message>
        <source>Connection timed out</source>
        <translation>Zeitüberschreitung der Verbindung</translation>
    </message>
    <message>
        <source>Unsupported file format</source>
        <translation>Nicht unterstütztes Dateiformat</translation>
    </message>
    <message>
        <source>Unavailable speaker</source>
        <translation>Lautsprecher nicht verfügbar</translation>
    </message>
    <message>
        <source>Invalid BASS version (used by add-ons)</source>
        <translation>Ungültige Version der Audio-Bibliothek (von Erweiterungen verwendet)</translation>
    </message>
    <message>
        <source>Codec is not available/supported</source>
        <translation>Codec nicht verfügbar oder nicht unterstützt</translation>
    </message>
    <message>
        <source>The Windows Media modules (v9 or above) are not installed.</source>
        <translation>Die Module für Windows Media (ab Version 9) sind nicht installiert.</translation>
    </message>
    <message>
        <source>No CD fouind in the drive</source>
        <translation>Keine CD im Laufwerk gefunden</translation>
    </message>
    <message>
        <source>Unknown Library Error</source>
        <translation>Unbekannter Fehler der Audio-Bibliothek</translation>
    </message>
    <message>
        <source>Internal Error</source>
        <translation>Interner Fehler</translation>
    </message>
    <message>
        <source>Recording failed: Missing encoder </source>
        <translation>Aufnahme fehlgeschlagen: Encoder fehlt </translation>
    </message>
    <message>
        <source>Recording failed: Unable to create output file</source>
        <translation>Aufnahme fehlgeschlagen: Ausgabedatei kann nicht angelegt werden</translation>
    </message>
    <message>
        <source>Recording failed: Unable to write to disk</source>
        <translation>Aufnahme fehlgeschlagen: Schreiben auf die Festplatte nicht möglich</translation>
    </message>
    <message>
        <source>Recording failed: Encoder has stopped working.</source>
        <translation>Aufnahme fehlgeschlagen: Der Encoder funktioniert nicht mehr.</translation>
    </message>
    <message>
        <source>Unknown Error</source>
        <translation>Unbekannter Fehler</translation>
    </message>
    <message>
        <source>Unknown Station</source>
        <translation>Unbekannter Sender</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Failed to connect at this time</source>
        <translation>Verbindung derzeit nicht möglich</translation>
    </message>
    <message>
        <source>Reason</source>
        <translation>Grund</translation>
    </message>
    <message>
        <source>Station</source>
        <translation>Sender</translation>
    </message>
    <message>
        <source>URL</source>
        <translation>Adresse</translation>
    </message>
    <message>
        <source>Tags</source>
        <translation>Tags</translation>
    </message>
    <message>
        <source>Would you like to report it?</source>
        <translation>Möchtest du das melden?</translation>
    </message>
    <message>
        <source>The connection to the sound server was lost.</source>
        <translation>Die Verbindung zum Soundserver ist abgebrochen.</translation>
    </message>
    <message>
        <source>Nothing is playing</source>
        <translation>Es wird nichts abgespielt</translation>
    </message>
    <message>
        <source>The audio engine could not be loaded: %1</source>
        <translation>Die Audio-Engine konnte nicht geladen werden: %1</translation>
    </message>
</context>
<context>
    <name>CLangManager</name>
    <message>
        <source>The language name &quot;%1&quot; cannot be used as a file name.</source>
        <translation>Der Sprachname „%1“ kann nicht als Dateiname verwendet werden.</translation>
    </message>
    <message>
        <source>Failed to open language file.</source>
        <translation>Die Sprachdatei konnte nicht geöffnet werden.</translation>
    </message>
    <message>
        <source>Reason</source>
        <translation>Grund</translation>
    </message>
    <message>
        <source>the file is too large</source>
        <translation>die Datei ist zu groß</translation>
    </message>
    <message>
        <source>The language file could not be downloaded.</source>
        <translation>Die Sprachdatei konnte nicht heruntergeladen werden.</translation>
    </message>
</context>
<context>
    <name>DesktopLinks</name>
    <message>
        <source>Starting browser</source>
        <translation>Browser wird gestartet</translation>
    </message>
</context>
<context>
    <name>DesktopNotifier</name>
    <message>
        <source>Tunora Player</source>
        <translation>Tunora Player</translation>
    </message>
</context>
<context>
    <name>DesktopSettings</name>
    <message>
        <source>Desktop</source>
        <translation>Desktop</translation>
    </message>
    <message>
        <source>Show a notification for each new song</source>
        <translation>Bei jedem neuen Lied eine Benachrichtigung zeigen</translation>
    </message>
    <message>
        <source>Show an icon in the system tray</source>
        <translation>Ein Symbol im Systembereich zeigen</translation>
    </message>
    <message>
        <source>Closing the window keeps the player in the tray</source>
        <translation>Beim Schließen des Fensters bleibt der Player im Systembereich</translation>
    </message>
    <message>
        <source>No proxy</source>
        <translation>Kein Proxy</translation>
    </message>
    <message>
        <source>The system&apos;s proxy</source>
        <translation>Proxy des Systems</translation>
    </message>
    <message>
        <source>HTTP proxy</source>
        <translation>HTTP-Proxy</translation>
    </message>
    <message>
        <source>SOCKS proxy</source>
        <translation>SOCKS-Proxy</translation>
    </message>
    <message>
        <source>Host</source>
        <translation>Host</translation>
    </message>
    <message>
        <source>Proxy host</source>
        <translation>Proxy-Host</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>Proxy port</source>
        <translation>Proxy-Port</translation>
    </message>
    <message>
        <source>Proxy:</source>
        <translation>Proxy:</translation>
    </message>
    <message>
        <source>Streams connect directly: the player sends them only through HTTP proxies.</source>
        <translation>Streams verbinden sich direkt: Der Player leitet sie nur über HTTP-Proxys.</translation>
    </message>
</context>
<context>
    <name>ExportFiles</name>
    <message>
        <source>The playlist is nested too deeply</source>
        <translation>Die Wiedergabeliste ist zu tief verschachtelt</translation>
    </message>
    <message>
        <source>The playlist is not well-formed XML: %1</source>
        <translation>Die Wiedergabeliste ist kein wohlgeformtes XML: %1</translation>
    </message>
    <message>
        <source>Favourite stations</source>
        <translation>Lieblingssender</translation>
    </message>
    <message>
        <source>The file is too large</source>
        <translation>Die Datei ist zu groß</translation>
    </message>
    <message>
        <source>A quoted field is not closed</source>
        <translation>Ein Feld in Anführungszeichen ist nicht abgeschlossen</translation>
    </message>
    <message>
        <source>Not a wish list: the first line must name the columns</source>
        <translation>Keine Wunschliste: Die erste Zeile muss die Spalten benennen</translation>
    </message>
</context>
<context>
    <name>HeaderViewEx</name>
    <message>
        <source>Columns</source>
        <translation>Spalten</translation>
    </message>
    <message>
        <source>Choose the columns to show</source>
        <translation>Anzuzeigende Spalten auswählen</translation>
    </message>
</context>
<context>
    <name>HelpView</name>
    <message>
        <source>God helps those that help themselves.</source>
        <translation>Hilf dir selbst, so hilft dir Gott.</translation>
    </message>
    <message>
        <source>Play or stop (outside text fields)</source>
        <translation>Abspielen oder stoppen (außerhalb von Textfeldern)</translation>
    </message>
    <message>
        <source>Go to the search box</source>
        <translation>Zum Suchfeld springen</translation>
    </message>
    <message>
        <source>Mute or unmute</source>
        <translation>Ton aus oder wieder an</translation>
    </message>
    <message>
        <source>Louder</source>
        <translation>Lauter</translation>
    </message>
    <message>
        <source>Softer</source>
        <translation>Leiser</translation>
    </message>
    <message>
        <source>Add the selected station to the favorites</source>
        <translation>Den gewählten Sender zu den Favoriten hinzufügen</translation>
    </message>
    <message>
        <source>Open a stream or playlist address</source>
        <translation>Eine Stream- oder Playlist-Adresse öffnen</translation>
    </message>
    <message>
        <source>This help</source>
        <translation>Diese Hilfe</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Keyboard</source>
        <translation>Tastatur</translation>
    </message>
</context>
<context>
    <name>HttpDlg</name>
    <message>
        <source>Http</source>
        <translation>HTTP</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>LanguageDlgClass</name>
    <message>
        <source>Language</source>
        <translation>Sprache</translation>
    </message>
    <message>
        <source>Language:</source>
        <translation>Sprache:</translation>
    </message>
    <message>
        <source>Please select your preferred language.</source>
        <translation>Bitte wähle deine bevorzugte Sprache.</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Next &gt;&gt;</source>
        <translation>Weiter &gt;&gt;</translation>
    </message>
</context>
<context>
    <name>LaunchArguments</name>
    <message>
        <source>No such file</source>
        <translation>Datei nicht vorhanden</translation>
    </message>
    <message>
        <source>Not a playlist file</source>
        <translation>Keine Wiedergabelisten-Datei</translation>
    </message>
    <message>
        <source>The file is too large for a playlist</source>
        <translation>Die Datei ist zu groß für eine Wiedergabeliste</translation>
    </message>
    <message>
        <source>The file lists no stream address</source>
        <translation>Die Datei enthält keine Stream-Adresse</translation>
    </message>
    <message>
        <source>Empty argument</source>
        <translation>Leeres Argument</translation>
    </message>
    <message>
        <source>Not a stream address (http, https, mms or rtsp)</source>
        <translation>Keine Stream-Adresse (http, https, mms oder rtsp)</translation>
    </message>
</context>
<context>
    <name>LoginDlg</name>
    <message>
        <source>Sign in</source>
        <translation>Anmelden</translation>
    </message>
    <message>
        <source>Forgot your password?</source>
        <translation>Passwort vergessen?</translation>
    </message>
    <message>
        <source>Not a member? Sign up, it&apos;s free!</source>
        <translation>Noch kein Mitglied? Registriere dich kostenlos!</translation>
    </message>
    <message>
        <source>Member name</source>
        <translation>Mitgliedsname</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>&lt;p&gt;Registration is free. You get to access personal services, like keeping your favorites. They will be available from anywhere.&lt;/p&gt;&lt;p&gt;Email validation is required, after registering you will receive further instructions on how to access your account.&lt;/p&gt;</source>
        <translation>&lt;p&gt;Die Registrierung ist kostenlos. Du erhältst Zugang zu persönlichen Diensten, etwa deinen Favoriten, und kannst sie von überall aus nutzen.&lt;/p&gt;&lt;p&gt;Deine E-Mail-Adresse muss bestätigt werden: Nach der Registrierung erhältst du eine E-Mail, die erklärt, wie du auf dein Konto zugreifst.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>Resending password</source>
        <translation>Passwort wird erneut gesendet</translation>
    </message>
    <message>
        <source>Password sent</source>
        <translation>Passwort gesendet</translation>
    </message>
    <message>
        <source>Member name is missing!</source>
        <translation>Der Mitgliedsname fehlt!</translation>
    </message>
    <message>
        <source>Password is missing!</source>
        <translation>Das Passwort fehlt!</translation>
    </message>
    <message>
        <source>Verifying</source>
        <translation>Prüfen</translation>
    </message>
    <message>
        <source>Member name or e-mail address</source>
        <translation>Mitgliedsname oder E-Mail-Adresse</translation>
    </message>
    <message>
        <source>Request password</source>
        <translation>Passwort anfordern</translation>
    </message>
    <message>
        <source>Send</source>
        <translation>Senden</translation>
    </message>
</context>
<context>
    <name>ProxySetting</name>
    <message>
        <source>Enter the proxy&apos;s host name or address</source>
        <translation>Gib den Hostnamen oder die Adresse des Proxys ein</translation>
    </message>
    <message>
        <source>The proxy host is not a host name or address</source>
        <translation>Der Proxy-Host ist weder ein Hostname noch eine Adresse</translation>
    </message>
    <message>
        <source>The proxy port must be between 1 and 65535</source>
        <translation>Der Proxy-Port muss zwischen 1 und 65535 liegen</translation>
    </message>
</context>
<context>
    <name>RecordControl</name>
    <message>
        <source>Split by song</source>
        <translation>Nach Titeln trennen</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>Aufnehmen</translation>
    </message>
    <message>
        <source>Records the playing station into the recordings folder</source>
        <translation>Nimmt den laufenden Sender im Aufnahmeordner auf</translation>
    </message>
    <message>
        <source>Recorded time</source>
        <translation>Aufgenommene Zeit</translation>
    </message>
    <message>
        <source>Recording: %1</source>
        <translation>Aufnahme: %1</translation>
    </message>
    <message>
        <source>Recording saved: %1</source>
        <translation>Aufnahme gespeichert: %1</translation>
    </message>
    <message>
        <source>Stop recording</source>
        <translation>Aufnahme beenden</translation>
    </message>
    <message>
        <source>Record the playing station</source>
        <translation>Den laufenden Sender aufnehmen</translation>
    </message>
</context>
<context>
    <name>RecordingSettings</name>
    <message>
        <source>Recording</source>
        <translation>Aufnahme</translation>
    </message>
    <message>
        <source>Recordings folder:</source>
        <translation>Aufnahmeordner:</translation>
    </message>
    <message>
        <source>Choose...</source>
        <translation>Auswählen...</translation>
    </message>
    <message>
        <source>Choose the recordings folder</source>
        <translation>Aufnahmeordner auswählen</translation>
    </message>
    <message>
        <source>Recording format:</source>
        <translation>Aufnahmeformat:</translation>
    </message>
    <message>
        <source>Split by song</source>
        <translation>Nach Titeln trennen</translation>
    </message>
    <message>
        <source>Begin a new file, named after the song, whenever the title changes</source>
        <translation>Bei jedem Titelwechsel eine neue Datei mit dem Namen des Titels beginnen</translation>
    </message>
    <message>
        <source>Not available: the encoder is missing</source>
        <translation>Nicht verfügbar: der Encoder fehlt</translation>
    </message>
    <message>
        <source>MP3</source>
        <translation>MP3</translation>
    </message>
    <message>
        <source>WMA</source>
        <translation>WMA</translation>
    </message>
    <message>
        <source>AAC</source>
        <translation>AAC</translation>
    </message>
    <message>
        <source>Ogg Vorbis</source>
        <translation>Ogg Vorbis</translation>
    </message>
    <message>
        <source>The stream&apos;s own format</source>
        <translation>Format des Streams</translation>
    </message>
    <message>
        <source>Recordings folder</source>
        <translation>Aufnahmeordner</translation>
    </message>
</context>
<context>
    <name>ResendEmail</name>
    <message>
        <source>Resend activation email</source>
        <translation>Aktivierungs-E-Mail erneut senden</translation>
    </message>
    <message>
        <source>Sign in with a different account</source>
        <translation>Mit einem anderen Konto anmelden</translation>
    </message>
    <message>
        <source>Account %1 is not activated yet, please follow instructions in your email</source>
        <translation>Das Konto %1 ist noch nicht aktiviert, bitte folge den Anweisungen in deiner E-Mail</translation>
    </message>
    <message>
        <source>Your account has been created and we have sent you an e-mail, follow instructions there to activate your account.</source>
        <translation>Dein Konto wurde erstellt und wir haben dir eine E-Mail geschickt. Folge den Anweisungen darin, um dein Konto zu aktivieren.</translation>
    </message>
    <message>
        <source>Authenticating</source>
        <translation>Anmeldung wird geprüft</translation>
    </message>
    <message>
        <source>Email sent</source>
        <translation>E-Mail gesendet</translation>
    </message>
</context>
<context>
    <name>Settings</name>
    <message>
        <source>Do nothing</source>
        <translation>Nichts tun</translation>
    </message>
    <message>
        <source>Start the last played station</source>
        <translation>Den zuletzt gespielten Sender starten</translation>
    </message>
    <message>
        <source>Language:</source>
        <translation>Sprache:</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Refresh the available languages</source>
        <translation>Die verfügbaren Sprachen neu laden</translation>
    </message>
    <message>
        <source>Minimum Bitrate:</source>
        <translation>Minimale Bitrate:</translation>
    </message>
    <message>
        <source>Maximum Bitrate:</source>
        <translation>Maximale Bitrate:</translation>
    </message>
    <message>
        <source>On Startup:</source>
        <translation>Beim Start:</translation>
    </message>
    <message>
        <source>Home Location:</source>
        <translation>Heimatort:</translation>
    </message>
    <message>
        <source>Set</source>
        <translation>Festlegen</translation>
    </message>
    <message>
        <source>Username:</source>
        <translation>Benutzername:</translation>
    </message>
    <message>
        <source>Email Address:</source>
        <translation>E-Mail-Adresse:</translation>
    </message>
    <message>
        <source>To change your username, email or password - please log in to your account on TunoraWeb.</source>
        <translation>Um Benutzernamen, E-Mail-Adresse oder Passwort zu ändern, melde dich bei deinem Konto auf TunoraWeb an.</translation>
    </message>
    <message>
        <source>Sign Out</source>
        <translation>Abmelden</translation>
    </message>
    <message>
        <source>Save Settings</source>
        <translation>Einstellungen speichern</translation>
    </message>
    <message>
        <source>Unlimited</source>
        <translation>Unbegrenzt</translation>
    </message>
    <message>
        <source>Tunora Player</source>
        <translation>Tunora Player</translation>
    </message>
    <message>
        <source>Your new settings will be applied when Tunora restarts, restart now?</source>
        <translation>Deine neuen Einstellungen gelten nach einem Neustart von Tunora. Jetzt neu starten?</translation>
    </message>
</context>
<context>
    <name>Signup</name>
    <message>
        <source>Sign up</source>
        <translation>Registrieren</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Member name</source>
        <translation>Mitgliedsname</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>Retype Password</source>
        <translation>Passwort wiederholen</translation>
    </message>
    <message>
        <source>Email</source>
        <translation>E-Mail</translation>
    </message>
    <message>
        <source>Retype Email</source>
        <translation>E-Mail wiederholen</translation>
    </message>
    <message>
        <source>&lt;p&gt;Choose a member name of 3 to 32 letters or digits and a password of at least 6 characters.&lt;/p&gt;&lt;p&gt;We send an e-mail to the address you give; follow the link in it to activate your account.&lt;/p&gt;</source>
        <translation>&lt;p&gt;Wähle einen Mitgliedsnamen aus 3 bis 32 Buchstaben oder Ziffern und ein Passwort mit mindestens 6 Zeichen.&lt;/p&gt;&lt;p&gt;Wir schicken eine E-Mail an die angegebene Adresse; folge dem Link darin, um dein Konto zu aktivieren.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>All boxes must be filled in</source>
        <translation>Alle Felder müssen ausgefüllt sein</translation>
    </message>
    <message>
        <source>Emails are not the same</source>
        <translation>Die E-Mail-Adressen stimmen nicht überein</translation>
    </message>
    <message>
        <source>Passwords are not the same</source>
        <translation>Die Passwörter stimmen nicht überein</translation>
    </message>
    <message>
        <source>Verifying</source>
        <translation>Prüfen</translation>
    </message>
</context>
<context>
    <name>Stream</name>
    <message>
        <source>The playlists of this station lead too deep.</source>
        <translation>Die Wiedergabelisten dieses Senders verweisen zu oft aufeinander.</translation>
    </message>
    <message>
        <source>The station has no address.</source>
        <translation>Der Sender hat keine Adresse.</translation>
    </message>
    <message>
        <source>The station&apos;s address is not valid.</source>
        <translation>Die Adresse des Senders ist ungültig.</translation>
    </message>
    <message>
        <source>No playlist is being downloaded.</source>
        <translation>Es wird keine Wiedergabeliste heruntergeladen.</translation>
    </message>
    <message>
        <source>The playlist holds no stream address.</source>
        <translation>Die Wiedergabeliste enthält keine Stream-Adresse.</translation>
    </message>
</context>
<context>
    <name>TrackHistoryFrame</name>
    <message>
        <source>Recently Played</source>
        <translation>Zuletzt gespielt</translation>
    </message>
</context>
<context>
    <name>TrackLists</name>
    <message>
        <source>The wish list %1 could not be read completely (%2).</source>
        <translation>Die Wunschliste %1 konnte nicht vollständig gelesen werden (%2).</translation>
    </message>
    <message>
        <source>A copy of it was kept as %1.</source>
        <translation>Eine Kopie davon wurde als %1 aufbewahrt.</translation>
    </message>
    <message>
        <source>Tunora Player</source>
        <translation>Tunora Player</translation>
    </message>
</context>
<context>
    <name>TrackPageBuilder</name>
    <message>
        <source>Add to wish list</source>
        <translation>Zur Wunschliste hinzufügen</translation>
    </message>
    <message>
        <source>Remove from wish list</source>
        <translation>Von der Wunschliste entfernen</translation>
    </message>
    <message>
        <source>Buy song/album</source>
        <translation>Titel/Album kaufen</translation>
    </message>
    <message>
        <source>Play song</source>
        <translation>Titel abspielen</translation>
    </message>
</context>
<context>
    <name>TrackWishListFrame</name>
    <message>
        <source>Wish List</source>
        <translation>Wunschliste</translation>
    </message>
</context>
<context>
    <name>TreeRadioWidget</name>
    <message>
        <source>&amp;Refresh</source>
        <translation>&amp;Aktualisieren</translation>
    </message>
    <message>
        <source>&amp;Single click collapses navigation menu</source>
        <translation>Navigationsmenü mit einfachem Klick &amp;zuklappen</translation>
    </message>
    <message>
        <source>Refresh the current contents</source>
        <translation>Den aktuellen Inhalt aktualisieren</translation>
    </message>
    <message>
        <source>Navigation menu</source>
        <translation>Navigationsmenü</translation>
    </message>
    <message>
        <source>FAVORITES</source>
        <translation>FAVORITEN</translation>
    </message>
    <message>
        <source>WISH LIST</source>
        <translation>WUNSCHLISTE</translation>
    </message>
    <message>
        <source>REGIONS</source>
        <translation>REGIONEN</translation>
    </message>
    <message>
        <source>GENRES</source>
        <translation>GENRES</translation>
    </message>
    <message>
        <source>HISTORY</source>
        <translation>VERLAUF</translation>
    </message>
    <message>
        <source>SEARCH RESULTS</source>
        <translation>SUCHERGEBNISSE</translation>
    </message>
    <message>
        <source>SETTINGS</source>
        <translation>EINSTELLUNGEN</translation>
    </message>
    <message>
        <source>Getting Countries</source>
        <translation>Länder werden geladen</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>Getting Genres</source>
        <translation>Genres werden geladen</translation>
    </message>
</context>
<context>
    <name>TreeStationWidget</name>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Kopieren</translation>
    </message>
    <message>
        <source>&amp;Add To Favorites</source>
        <translation>Zu &amp;Favoriten hinzufügen</translation>
    </message>
    <message>
        <source>&amp;Remove From Favorites</source>
        <translation>Aus Favoriten &amp;entfernen</translation>
    </message>
    <message>
        <source>&amp;Play</source>
        <translation>&amp;Abspielen</translation>
    </message>
    <message>
        <source>&amp;Stop</source>
        <translation>&amp;Stoppen</translation>
    </message>
    <message>
        <source>#</source>
        <translation>#</translation>
    </message>
    <message>
        <source>Stations</source>
        <translation>Sender</translation>
    </message>
    <message>
        <source>Playing Now</source>
        <translation>Läuft gerade</translation>
    </message>
    <message>
        <source>Genres</source>
        <translation>Genres</translation>
    </message>
    <message>
        <source>Location</source>
        <translation>Ort</translation>
    </message>
    <message>
        <source>Network</source>
        <translation>Netzwerk</translation>
    </message>
    <message>
        <source>Website</source>
        <translation>Website</translation>
    </message>
    <message>
        <source>Copy the current contents to the clipboard</source>
        <translation>Den aktuellen Inhalt in die Zwischenablage kopieren</translation>
    </message>
    <message>
        <source>Add the selected station to your favorites</source>
        <translation>Den ausgewählten Sender zu deinen Favoriten hinzufügen</translation>
    </message>
    <message>
        <source>Remove the selected station from your favorites</source>
        <translation>Den ausgewählten Sender aus deinen Favoriten entfernen</translation>
    </message>
    <message>
        <source>Play the selected station</source>
        <translation>Den ausgewählten Sender abspielen</translation>
    </message>
    <message>
        <source>Stop playing the selected station</source>
        <translation>Die Wiedergabe des ausgewählten Senders stoppen</translation>
    </message>
    <message>
        <source>Getting Favorites</source>
        <translation>Favoriten werden geladen</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>Getting History</source>
        <translation>Verlauf wird geladen</translation>
    </message>
    <message>
        <source>Getting Stations</source>
        <translation>Sender werden geladen</translation>
    </message>
    <message>
        <source>more</source>
        <translation>weitere</translation>
    </message>
    <message>
        <source>total</source>
        <translation>insgesamt</translation>
    </message>
    <message>
        <source>More stations</source>
        <translation>Weitere Sender</translation>
    </message>
    <message>
        <source>Starting browser</source>
        <translation>Browser wird gestartet</translation>
    </message>
</context>
<context>
    <name>TreeWidgetBase</name>
    <message>
        <source>&amp;Reset column layout</source>
        <translation>Spaltenlayout &amp;zurücksetzen</translation>
    </message>
    <message>
        <source>Reset all columns to their default size and layout</source>
        <translation>Alle Spalten auf Standardgröße und -anordnung zurücksetzen</translation>
    </message>
</context>
<context>
    <name>TunoraAPI</name>
    <message>
        <source>Getting History</source>
        <translation>Verlauf wird geladen</translation>
    </message>
    <message>
        <source>Getting </source>
        <translation>Lade </translation>
    </message>
    <message>
        <source>languages</source>
        <translation>Sprachen</translation>
    </message>
    <message>
        <source> version information</source>
        <translation> Versionsinformationen</translation>
    </message>
    <message>
        <source>account information</source>
        <translation>Kontoinformationen</translation>
    </message>
    <message>
        <source>Checking</source>
        <translation>Prüfen</translation>
    </message>
    <message>
        <source>Setting home location</source>
        <translation>Heimatort wird gespeichert</translation>
    </message>
    <message>
        <source>Creating account</source>
        <translation>Konto wird erstellt</translation>
    </message>
    <message>
        <source>Resending password</source>
        <translation>Passwort wird erneut gesendet</translation>
    </message>
    <message>
        <source>Getting Translation</source>
        <translation>Übersetzung wird geladen</translation>
    </message>
    <message>
        <source>Tunora Player</source>
        <translation>Tunora Player</translation>
    </message>
</context>
<context>
    <name>TunoraDE</name>
    <message>
        <source>Tunora Player</source>
        <translation>Tunora Player</translation>
    </message>
    <message>
        <source>Search Stations or What&apos;s Playing</source>
        <translation>Sender oder laufende Titel suchen</translation>
    </message>
    <message>
        <source>%1%</source>
        <translation>%1 %</translation>
    </message>
    <message>
        <source>No stream address found</source>
        <translation>Keine Stream-Adresse gefunden</translation>
    </message>
    <message>
        <source>Connecting</source>
        <translation>Verbinden</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>Downloading</source>
        <translation>Herunterladen</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stoppen</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Abspielen</translation>
    </message>
    <message>
        <source>Buffering</source>
        <translation>Puffern</translation>
    </message>
    <message>
        <source>Last played</source>
        <translation>Zuletzt gespielt</translation>
    </message>
    <message>
        <source>Station Timed Out!</source>
        <translation>Zeitüberschreitung beim Sender!</translation>
    </message>
    <message>
        <source>Playing</source>
        <translation>Jetzt läuft</translation>
    </message>
    <message>
        <source>Track History</source>
        <translation>Titelverlauf</translation>
    </message>
    <message>
        <source>Open URL</source>
        <translation>Adresse öffnen</translation>
    </message>
    <message>
        <source>Stream or playlist address:</source>
        <translation>Adresse des Streams oder der Wiedergabeliste:</translation>
    </message>
    <message>
        <source>Not a web address: %1</source>
        <translation>Keine Webadresse: %1</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Suchen</translation>
    </message>
    <message>
        <source>for</source>
        <translation>nach</translation>
    </message>
    <message>
        <source>Previous page</source>
        <translation>Vorherige Seite</translation>
    </message>
    <message>
        <source>Next page</source>
        <translation>Nächste Seite</translation>
    </message>
    <message>
        <source>News</source>
        <translation>Nachrichten</translation>
    </message>
    <message>
        <source>Buy song/album</source>
        <translation>Titel/Album kaufen</translation>
    </message>
    <message>
        <source>A restart is required for this option.</source>
        <translation>Diese Option erfordert einen Neustart.</translation>
    </message>
    <message>
        <source>Welcome</source>
        <translation>Willkommen</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Starting browser</source>
        <translation>Browser wird gestartet</translation>
    </message>
    <message>
        <source>Check for &amp;new version...</source>
        <translation>Nach &amp;neuer Version suchen...</translation>
    </message>
    <message>
        <source>Ask the directory whether a newer version exists</source>
        <translation>Beim Verzeichnis nachfragen, ob es eine neuere Version gibt</translation>
    </message>
    <message>
        <source>No Languages Found</source>
        <translation>Keine Sprachen gefunden</translation>
    </message>
    <message>
        <source>Select Language</source>
        <translation>Sprache wählen</translation>
    </message>
    <message>
        <source>Please select your language</source>
        <translation>Bitte wähle deine Sprache.</translation>
    </message>
    <message>
        <source>The language %1 could not be loaded.</source>
        <translation>Die Sprache %1 konnte nicht geladen werden.</translation>
    </message>
    <message>
        <source>Tunora &amp;Web Site</source>
        <translation>Tunora-&amp;Website</translation>
    </message>
    <message>
        <source>Browse the Tunora web site, sign in there and play its stations here</source>
        <translation>Die Tunora-Website durchsuchen, sich dort anmelden und ihre Sender hier abspielen</translation>
    </message>
    <message>
        <source>Web Site</source>
        <translation>Website</translation>
    </message>
    <message>
        <source>The sound output was lost; playback goes on when it is back.</source>
        <translation>Die Tonausgabe ist weg; die Wiedergabe geht weiter, sobald sie zurück ist.</translation>
    </message>
    <message>
        <source>The sound output is back.</source>
        <translation>Die Tonausgabe ist wieder da.</translation>
    </message>
    <message>
        <source>Web pages</source>
        <translation>Webseiten</translation>
    </message>
    <message>
        <source>The web pages cannot be shown: %1</source>
        <translation>Die Webseiten können nicht angezeigt werden: %1</translation>
    </message>
</context>
<context>
    <name>TunoraDEClass</name>
    <message>
        <source>Tunora Player</source>
        <translation>Tunora Player</translation>
    </message>
    <message>
        <source>Navigation</source>
        <translation>Navigation</translation>
    </message>
    <message>
        <source>Album cover</source>
        <translation>Albumcover</translation>
    </message>
    <message>
        <source>Play or stop</source>
        <translation>Abspielen oder stoppen</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Abspielen</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>Lautstärke</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Suchen</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>Open URL...</source>
        <translation>Adresse öffnen...</translation>
    </message>
    <message>
        <source>Ctrl+L</source>
        <translation>Ctrl+L</translation>
    </message>
    <message>
        <source>&amp;Sign in...</source>
        <translation>&amp;Anmelden...</translation>
    </message>
    <message>
        <source>Sign &amp;out</source>
        <translation>Ab&amp;melden</translation>
    </message>
    <message>
        <source>&amp;Languages...</source>
        <translation>&amp;Sprachen...</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>Ctrl+Q</source>
        <translation>Ctrl+Q</translation>
    </message>
    <message>
        <source>&amp;About...</source>
        <translation>&amp;Über...</translation>
    </message>
    <message>
        <source>Clear Column Settings</source>
        <translation>Spalteneinstellungen zurücksetzen</translation>
    </message>
    <message>
        <source>Change &amp;font...</source>
        <translation>Schrift&amp;art ändern...</translation>
    </message>
    <message>
        <source>Change the application font</source>
        <translation>Die Schriftart der Anwendung ändern</translation>
    </message>
    <message>
        <source>&amp;Single click collapses navigation menu</source>
        <translation>Navigationsmenü mit einfachem Klick &amp;zuklappen</translation>
    </message>
    <message>
        <source>F1</source>
        <translation>F1</translation>
    </message>
</context>
<context>
    <name>VersionCheck</name>
    <message>
        <source>Tunora Player</source>
        <translation>Tunora Player</translation>
    </message>
    <message>
        <source>&lt;b&gt;No new version was found.&lt;/b&gt;&lt;br&gt;&lt;br&gt;Current Version: &lt;b&gt;%1&lt;/b&gt;&lt;br&gt;Latest Version: &lt;b&gt;%2&lt;/b&gt;</source>
        <translation>&lt;b&gt;Es gibt keine neue Version.&lt;/b&gt;&lt;br&gt;&lt;br&gt;Installierte Version: &lt;b&gt;%1&lt;/b&gt;&lt;br&gt;Neueste Version: &lt;b&gt;%2&lt;/b&gt;</translation>
    </message>
    <message>
        <source>&lt;b&gt;New version found.&lt;/b&gt;&lt;br&gt;&lt;br&gt;Current Version: &lt;b&gt;%1&lt;/b&gt;&lt;br&gt;Latest Version: &lt;b&gt;%2&lt;/b&gt;&lt;br&gt;&lt;br&gt;&lt;b&gt;Changes:&lt;/b&gt;&lt;br&gt;%3&lt;br&gt;&lt;br&gt;&lt;b&gt;Would you like to install it?&lt;/b&gt;</source>
        <translation>&lt;b&gt;Eine neue Version ist verfügbar.&lt;/b&gt;&lt;br&gt;&lt;br&gt;Installierte Version: &lt;b&gt;%1&lt;/b&gt;&lt;br&gt;Neueste Version: &lt;b&gt;%2&lt;/b&gt;&lt;br&gt;&lt;br&gt;&lt;b&gt;Änderungen:&lt;/b&gt;&lt;br&gt;%3&lt;br&gt;&lt;br&gt;&lt;b&gt;Möchtest du sie installieren?&lt;/b&gt;</translation>
    </message>
    <message>
        <source>The update could not be downloaded.</source>
        <translation>Das Update konnte nicht heruntergeladen werden.</translation>
    </message>
    <message>
        <source>The update was saved as %1.</source>
        <translation>Das Update wurde als %1 gespeichert.</translation>
    </message>
    <message>
        <source>The download address is not a secure (https) address.</source>
        <translation>Die Download-Adresse ist keine sichere (https-)Adresse.</translation>
    </message>
    <message>
        <source>The directory did not announce the size of the download.</source>
        <translation>Das Verzeichnis hat die Größe des Downloads nicht angegeben.</translation>
    </message>
    <message>
        <source>The announced checksum is not a SHA-256 checksum.</source>
        <translation>Die angegebene Prüfsumme ist keine SHA-256-Prüfsumme.</translation>
    </message>
    <message>
        <source>The folder %1 cannot be created.</source>
        <translation>Der Ordner %1 kann nicht angelegt werden.</translation>
    </message>
    <message>
        <source>Downloading the new version...</source>
        <translation>Die neue Version wird heruntergeladen...</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>The download was redirected to an address that is not secure.</source>
        <translation>Der Download wurde auf eine unsichere Adresse umgeleitet.</translation>
    </message>
    <message>
        <source>The download is larger than announced.</source>
        <translation>Der Download ist größer als angegeben.</translation>
    </message>
    <message>
        <source>The server answered with status %1.</source>
        <translation>Der Server antwortete mit Status %1.</translation>
    </message>
    <message>
        <source>The download has %1 bytes instead of the announced %2.</source>
        <translation>Der Download hat %1 Byte statt der angegebenen %2.</translation>
    </message>
    <message>
        <source>The checksum of the download does not match the announced one.</source>
        <translation>Die Prüfsumme des Downloads stimmt nicht mit der angegebenen überein.</translation>
    </message>
    <message>
        <source>The download was cancelled.</source>
        <translation>Der Download wurde abgebrochen.</translation>
    </message>
</context>
<context>
    <name>WelcomeView</name>
    <message>
        <source>Welcome to the world of Live Internet Radio!</source>
        <translation>Willkommen in der Welt des Live-Internetradios!</translation>
    </message>
    <message>
        <source>Add your favorite stations</source>
        <translation>Füge deine Lieblingssender hinzu</translation>
    </message>
    <message>
        <source>Make a wish list of songs</source>
        <translation>Lege eine Wunschliste mit Titeln an</translation>
    </message>
    <message>
        <source>Find your favorite station</source>
        <translation>Finde deinen Lieblingssender</translation>
    </message>
    <message>
        <source>Search what&apos;s playing now</source>
        <translation>Suche, was gerade läuft</translation>
    </message>
</context>
<context>
    <name>WindowDesktop</name>
    <message>
        <source>Play/Stop</source>
        <translation>Abspielen/Stoppen</translation>
    </message>
    <message>
        <source>Plays the current station or stops it</source>
        <translation>Spielt den aktuellen Sender ab oder stoppt ihn</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Suche</translation>
    </message>
    <message>
        <source>Moves to the search box</source>
        <translation>Springt zum Suchfeld</translation>
    </message>
    <message>
        <source>Mute</source>
        <translation>Stumm</translation>
    </message>
    <message>
        <source>Turns the sound off or on again</source>
        <translation>Schaltet den Ton aus oder wieder ein</translation>
    </message>
    <message>
        <source>Louder</source>
        <translation>Lauter</translation>
    </message>
    <message>
        <source>Raises the volume</source>
        <translation>Erhöht die Lautstärke</translation>
    </message>
    <message>
        <source>Softer</source>
        <translation>Leiser</translation>
    </message>
    <message>
        <source>Lowers the volume</source>
        <translation>Verringert die Lautstärke</translation>
    </message>
    <message>
        <source>Add to Favorites</source>
        <translation>Zu Favoriten hinzufügen</translation>
    </message>
    <message>
        <source>Adds the selected station to the favorites</source>
        <translation>Fügt den gewählten Sender zu den Favoriten hinzu</translation>
    </message>
    <message>
        <source>Sleep Timer</source>
        <translation>Schlaf-Timer</translation>
    </message>
    <message>
        <source>Export Favorites...</source>
        <translation>Favoriten exportieren...</translation>
    </message>
    <message>
        <source>Import Favorites...</source>
        <translation>Favoriten importieren...</translation>
    </message>
    <message>
        <source>Export Wish List...</source>
        <translation>Wunschliste exportieren...</translation>
    </message>
    <message>
        <source>Import Wish List...</source>
        <translation>Wunschliste importieren...</translation>
    </message>
    <message>
        <source>At the end of this song</source>
        <translation>Am Ende dieses Lieds</translation>
    </message>
    <message>
        <source>Playback stops at the end of this song</source>
        <translation>Die Wiedergabe endet am Ende dieses Lieds</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Aus</translation>
    </message>
    <message>
        <source>Sleep timer: playback stopped</source>
        <translation>Schlaf-Timer: Wiedergabe gestoppt</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Abspielen</translation>
    </message>
    <message>
        <source>Plays the current station or stops it (Space)</source>
        <translation>Spielt den aktuellen Sender ab oder stoppt ihn (Leertaste)</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>Lautstärke</translation>
    </message>
    <message>
        <source>Volume of the player (Ctrl+Up, Ctrl+Down)</source>
        <translation>Lautstärke des Players (Strg+Hoch, Strg+Runter)</translation>
    </message>
    <message>
        <source>Album cover</source>
        <translation>Albumcover</translation>
    </message>
    <message>
        <source>The cover of the song playing; click it to enlarge</source>
        <translation>Das Cover des laufenden Lieds; zum Vergrößern anklicken</translation>
    </message>
    <message>
        <source>Searches stations or what they play (Ctrl+F)</source>
        <translation>Sucht Sender oder was sie spielen (Strg+F)</translation>
    </message>
    <message>
        <source>Search options</source>
        <translation>Suchoptionen</translation>
    </message>
    <message>
        <source>Sections</source>
        <translation>Bereiche</translation>
    </message>
    <message>
        <source>Favorites, wish list, regions, genres, history and more</source>
        <translation>Favoriten, Wunschliste, Regionen, Genres, Verlauf und mehr</translation>
    </message>
    <message>
        <source>Stations</source>
        <translation>Sender</translation>
    </message>
    <message>
        <source>News</source>
        <translation>Neuigkeiten</translation>
    </message>
    <message>
        <source>Show Tunora Player</source>
        <translation>Tunora Player zeigen</translation>
    </message>
    <message>
        <source>Not played: %1 (%2)</source>
        <translation>Nicht abgespielt: %1 (%2)</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stoppen</translation>
    </message>
    <message>
        <source>Tunora Player</source>
        <translation>Tunora Player</translation>
    </message>
    <message>
        <source>Select a station first</source>
        <translation>Wähle zuerst einen Sender</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Exportieren</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>Importieren</translation>
    </message>
    <message>
        <source>Playlists (*.m3u *.xspf)</source>
        <translation>Playlists (*.m3u *.xspf)</translation>
    </message>
    <message>
        <source>Playlists (*.m3u *.m3u8 *.xspf *.pls)</source>
        <translation>Playlists (*.m3u *.m3u8 *.xspf *.pls)</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>CSV-Dateien (*.csv)</translation>
    </message>
    <message>
        <source>Wish list exported to %1</source>
        <translation>Wunschliste nach %1 exportiert</translation>
    </message>
    <message>
        <source>Sign in first: the wish list belongs to your account.</source>
        <translation>Melde dich zuerst an: Die Wunschliste gehört zu deinem Konto.</translation>
    </message>
    <message>
        <source>The favorites could not be read from the directory.</source>
        <translation>Die Favoriten konnten nicht aus dem Verzeichnis gelesen werden.</translation>
    </message>
    <message>
        <source>Another transfer of favorites is under way.</source>
        <translation>Eine andere Übertragung der Favoriten läuft noch.</translation>
    </message>
    <message>
        <source>Not found in the directory: %1</source>
        <translation>Nicht im Verzeichnis gefunden: %1</translation>
    </message>
    <message>
        <source>%1 minutes</source>
        <translation>%1 Minuten</translation>
    </message>
    <message>
        <source>Playback stops in %1 minutes</source>
        <translation>Die Wiedergabe endet in %1 Minuten</translation>
    </message>
    <message>
        <source>Songs added to the wish list: %1.</source>
        <translation>Zur Wunschliste hinzugefügte Lieder: %1.</translation>
    </message>
    <message>
        <source>Lines that could not be read: %1.</source>
        <translation>Nicht lesbare Zeilen: %1.</translation>
    </message>
    <message>
        <source>Favorites exported to %1: %2</source>
        <translation>Favoriten nach %1 exportiert: %2</translation>
    </message>
    <message>
        <source>Stations added to the favorites: %1.</source>
        <translation>Zu den Favoriten hinzugefügte Sender: %1.</translation>
    </message>
    <message>
        <source>Entries left out for want of a usable address: %1.</source>
        <translation>Mangels brauchbarer Adresse ausgelassene Einträge: %1.</translation>
    </message>
    <message>
        <source>&amp;Playback</source>
        <translation>&amp;Wiedergabe</translation>
    </message>
</context>
<context>
    <name>WishListPageBuilder</name>
    <message>
        <source>Remove from your wish list</source>
        <translation>Von deiner Wunschliste entfernen</translation>
    </message>
    <message>
        <source>Contents changed, click here to refresh</source>
        <translation>Inhalt geändert, zum Aktualisieren hier klicken</translation>
    </message>
</context>
<context>
    <name>login</name>
    <message>
        <source>Sign in</source>
        <translation>Anmelden</translation>
    </message>
    <message>
        <source>Close help</source>
        <translation>Hilfe schließen</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Zurück</translation>
    </message>
</context>
</TS>
