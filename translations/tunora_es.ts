<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>AboutDialog</name>
    <message>
        <source>About</source>
        <translation>Acerca de</translation>
    </message>
    <message>
        <source>Tunora Player</source>
        <translation>Tunora Player</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Versión %1</translation>
    </message>
    <message>
        <source>Tunora Player plays internet radio stations from an on-line directory of stations, sorted by genre, region and country, and finds stations by what they play now.

While a station plays it shows the artist and song, the song played before it and the album cover, keeps the songs heard in a track history and the songs you like on a wish list.

Favourite stations and the stations you listened to are kept on your account.</source>
        <translation>Tunora Player reproduce emisoras de radio por Internet desde un directorio en línea de emisoras, ordenadas por género, región y país, y encuentra emisoras por lo que están sonando ahora.

Mientras suena una emisora, muestra el artista y la canción, la canción anterior y la carátula del álbum, guarda las canciones escuchadas en un historial de canciones y las que te gustan en una lista de deseos.

Las emisoras favoritas y las que has escuchado se guardan en tu cuenta.</translation>
    </message>
</context>
<context>
    <name>BASS::BaseRadioAPI</name>
    <message>
        <source>The data returned from the server was not in the correct format.</source>
        <translation>Los datos devueltos por el servidor no tenían el formato correcto.</translation>
    </message>
    <message>
        <source>The reply is larger than %1 bytes.</source>
        <translation>La respuesta supera los %1 bytes.</translation>
    </message>
    <message>
        <source>An element carries more than %1 attributes.</source>
        <translation>Un elemento tiene más de %1 atributos.</translation>
    </message>
    <message>
        <source>Elements are nested more than %1 deep.</source>
        <translation>Los elementos están anidados en más de %1 niveles.</translation>
    </message>
    <message>
        <source>Invalid URL specified</source>
        <translation>Dirección no válida</translation>
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
        <translation>Buscando la carátula...</translation>
    </message>
    <message>
        <source>Cover art found</source>
        <translation>Carátula encontrada</translation>
    </message>
    <message>
        <source>Cover art not found</source>
        <translation>No se encontró la carátula</translation>
    </message>
    <message>
        <source>Searching for lyrics...</source>
        <translation>Buscando la letra...</translation>
    </message>
    <message>
        <source>Lyrics Found</source>
        <translation>Letra encontrada</translation>
    </message>
    <message>
        <source>Lyrics not found</source>
        <translation>No se encontró la letra</translation>
    </message>
    <message>
        <source>Nothing found about</source>
        <translation>No se encontró nada sobre</translation>
    </message>
    <message>
        <source>Click here to search Google in your default browser</source>
        <translation>Haz clic aquí para buscar en la web con tu navegador</translation>
    </message>
</context>
<context>
    <name>BASS::HttpDownloadDlg</name>
    <message>
        <source>Please wait</source>
        <translation>Espera, por favor</translation>
    </message>
    <message>
        <source>Downloading</source>
        <translation>Descargando</translation>
    </message>
    <message>
        <source>Connecting</source>
        <translation>Conectando</translation>
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
        <translation>Emisora desconocida</translation>
    </message>
</context>
<context>
    <name>BASS::QHttpExt</name>
    <message>
        <source>No error condition. Note: When the HTTP protocol returns a redirect no error will be reported. You can check if there is a redirect with the QNetworkRequest::RedirectionTargetAttribute attribute.</source>
        <translation>Sin errores. Nota: una redirección HTTP no se notifica como error. El atributo QNetworkRequest::RedirectionTargetAttribute indica si hay una redirección.</translation>
    </message>
    <message>
        <source>The remote server refused the connection (the server is not accepting requests)</source>
        <translation>El servidor remoto rechazó la conexión (no acepta solicitudes)</translation>
    </message>
    <message>
        <source>The remote server closed the connection prematurely, before the entire reply was received and processed</source>
        <translation>El servidor remoto cerró la conexión antes de tiempo, sin que se recibiera y procesara toda la respuesta</translation>
    </message>
    <message>
        <source>The remote host name was not found (invalid hostname)</source>
        <translation>No se encontró el nombre del servidor remoto (nombre no válido)</translation>
    </message>
    <message>
        <source>The connection to the remote server timed out</source>
        <translation>Se agotó el tiempo de conexión con el servidor remoto</translation>
    </message>
    <message>
        <source>The operation was canceled via calls to abort() or close() before it was finished.</source>
        <translation>La operación se canceló con abort() o close() antes de terminar.</translation>
    </message>
    <message>
        <source>The SSL/TLS handshake failed and the encrypted channel could not be established. The sslErrors() signal should have been emitted.</source>
        <translation>Falló la negociación SSL/TLS y no se pudo establecer el canal cifrado. Debería haberse emitido la señal sslErrors().</translation>
    </message>
    <message>
        <source>The connection to the proxy server was refused (the proxy server is not accepting requests)</source>
        <translation>El servidor proxy rechazó la conexión (no acepta solicitudes)</translation>
    </message>
    <message>
        <source>The proxy server closed the connection prematurely, before the entire reply was received and processed</source>
        <translation>El servidor proxy cerró la conexión antes de tiempo, sin que se recibiera y procesara toda la respuesta</translation>
    </message>
    <message>
        <source>The proxy host name was not found (invalid proxy hostname)</source>
        <translation>No se encontró el nombre del proxy (nombre no válido)</translation>
    </message>
    <message>
        <source>The connection to the proxy timed out or the proxy did not reply in time to the request sent</source>
        <translation>Se agotó el tiempo de conexión con el proxy o este no respondió a tiempo a la solicitud</translation>
    </message>
    <message>
        <source>The proxy requires authentication in order to honour the request but did not accept any credentials offered (if any)</source>
        <translation>El proxy exige autenticación y no aceptó las credenciales ofrecidas (si las hubo)</translation>
    </message>
    <message>
        <source>The access to the remote content was denied (similar to HTTP error 401)</source>
        <translation>Se denegó el acceso al contenido remoto (como el error HTTP 401)</translation>
    </message>
    <message>
        <source>The operation requested on the remote content is not permitted</source>
        <translation>La operación solicitada sobre el contenido remoto no está permitida</translation>
    </message>
    <message>
        <source>The remote content was not found at the server (similar to HTTP error 404)</source>
        <translation>No se encontró el contenido remoto en el servidor (como el error HTTP 404)</translation>
    </message>
    <message>
        <source>The remote server requires authentication to serve the content but the credentials provided were not accepted (if any)</source>
        <translation>El servidor remoto exige autenticación y no aceptó las credenciales indicadas (si las hubo)</translation>
    </message>
    <message>
        <source>The request needed to be sent again, but this failed for example because the upload data could not be read a second time.</source>
        <translation>Había que volver a enviar la solicitud, pero falló, por ejemplo porque los datos a subir no se pudieron leer de nuevo.</translation>
    </message>
    <message>
        <source>The Network Access API cannot honor the request because the protocol is not known.</source>
        <translation>No se puede atender la solicitud porque el protocolo es desconocido.</translation>
    </message>
    <message>
        <source>Please go to settings and check &apos;Use old but compatible network library&apos; if this problem persists.</source>
        <translation>Si el problema continúa, activa «Usar la biblioteca de red antigua pero compatible» en los ajustes.</translation>
    </message>
    <message>
        <source>The requested operation is invalid for this protocol</source>
        <translation>La operación solicitada no es válida para este protocolo</translation>
    </message>
    <message>
        <source>An unknown network-related error was detected</source>
        <translation>Se detectó un error de red desconocido</translation>
    </message>
    <message>
        <source>An unknown proxy-related error was detected</source>
        <translation>Se detectó un error de proxy desconocido</translation>
    </message>
    <message>
        <source>An unknown error related to the remote content was detected</source>
        <translation>Se detectó un error desconocido relacionado con el contenido remoto</translation>
    </message>
    <message>
        <source>A breakdown in protocol was detected (parsing error, invalid or unexpected responses, etc.)</source>
        <translation>Se detectó un fallo de protocolo (error de análisis, respuestas no válidas o inesperadas, etc.)</translation>
    </message>
    <message>
        <source>Invalid URL: %1</source>
        <translation>Dirección no válida: %1</translation>
    </message>
    <message>
        <source>Http</source>
        <translation>HTTP</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Descarga</translation>
    </message>
    <message>
        <source>There already exists a file called %1 in the current directory. Overwrite?</source>
        <translation>Ya existe un archivo llamado %1 en la carpeta actual. ¿Quieres sobrescribirlo?</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Unable to save file.</source>
        <translation>No se puede guardar el archivo.</translation>
    </message>
    <message>
        <source>Unable to write to file %1: %2</source>
        <translation>No se puede escribir en el archivo %1: %2</translation>
    </message>
    <message>
        <source>The reply is larger than %1 bytes.</source>
        <translation>La respuesta supera los %1 bytes.</translation>
    </message>
    <message>
        <source>Too many redirects (more than %1).</source>
        <translation>Demasiadas redirecciones (más de %1).</translation>
    </message>
    <message>
        <source>The server answered %1 instead of the file.</source>
        <translation>El servidor respondió %1 en lugar del archivo.</translation>
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
        <translation>Error de memoria</translation>
    </message>
    <message>
        <source>Can&apos;t open the file</source>
        <translation>No se puede abrir el archivo</translation>
    </message>
    <message>
        <source>Can&apos;t find a free/valid driver</source>
        <translation>No se encuentra ningún controlador libre o válido</translation>
    </message>
    <message>
        <source>The sample buffer was lost</source>
        <translation>Se perdió el búfer de muestras</translation>
    </message>
    <message>
        <source>Invalid handle</source>
        <translation>Identificador no válido</translation>
    </message>
    <message>
        <source>Unsupported sample format</source>
        <translation>Formato de muestra no compatible</translation>
    </message>
    <message>
        <source>Invalid playback position</source>
        <translation>Posición de reproducción no válida</translation>
    </message>
    <message>
        <source>BASS_Init was not successfully called</source>
        <translation>La salida de audio no se inicializó correctamente (BASS_Init)</translation>
    </message>
    <message>
        <source>BASS_Start was not successfully called</source>
        <translation>La salida de audio no se inició correctamente (BASS_Start)</translation>
    </message>
    <message>
        <source>Already initialized/paused/etc</source>
        <translation>Ya inicializado, en pausa, etc.</translation>
    </message>
    <message>
        <source>Can&apos;t get a free channel</source>
        <translation>No hay ningún canal libre</translation>
    </message>
    <message>
        <source>An illegal type was specified</source>
        <translation>Se indicó un tipo no permitido</translation>
    </message>
    <message>
        <source>An illegal parameter was specified</source>
        <translation>Se indicó un parámetro no permitido</translation>
    </message>
    <message>
        <source>No 3D support</source>
        <translation>Sin compatibilidad con 3D</translation>
    </message>
    <message>
        <source>No EAX support</source>
        <translation>Sin compatibilidad con EAX</translation>
    </message>
    <message>
        <source>Illegal device number</source>
        <translation>Número de dispositivo no válido</translation>
    </message>
    <message>
        <source>Not playing</source>
        <translation>Sin reproducción</translation>
    </message>
    <message>
        <source>Illegal sample rate</source>
        <translation>Frecuencia de muestreo no válida</translation>
    </message>
    <message>
        <source>The stream is not a file stream</source>
        <translation>La transmisión no es un archivo</translation>
    </message>
    <message>
        <source>No hardware voices available</source>
        <translation>No hay voces de hardware disponibles</translation>
    </message>
    <message>
        <source>The MOD music has no sequence data</source>
        <translation>La música MOD no tiene datos de secuencia</translation>
    </message>
    <message>
        <source>No internet connection could be opened</source>
        <translation>No se pudo abrir ninguna conexión a Internet</translation>
    </message>
    <message>
        <source>Couldn&apos;t create the file</source>
        <translation>No se pudo crear el archivo</translation>
    </message>
    <message>
        <source>Effects are not available</source>
        <translation>Los efectos no están disponibles</translation>
    </message>
    <message>
        <source>Requested data is not available</source>
        <translation>Los datos solicitados no están disponibles</translation>
    </message>
    <message>
        <source>The channel is a decoding channel</source>
        <translation>El canal es un canal de decodificación</translation>
    </message>
    <message>
        <source>Sufficient DirectX version is not installed</source>
        <translation>No está instalada la versión necesaria de la interfaz de audio</translation>
    </message>
    <message>
        <source>Connection timed out</source>
        <translation>Se agotó el tiempo de conexión</translation>
    </message>
    <message>
        <source>Unsupported file format</source>
        <translation>Formato de archivo no compatible</translation>
    </message>
    <message>
        <source>Unavailable speaker</source>
        <translation>Altavoz no disponible</translation>
    </message>
    <message>
        <source>Invalid BASS version (used by add-ons)</source>
        <translation>Versión de la biblioteca de audio no válida (usada por las extensiones)</translation>
    </message>
    <message>
        <source>Codec is not available/supported</source>
        <translation>Códec no disponible o no compatible</translation>
    </message>
    <message>
        <source>The Windows Media modules (v9 or above) are not installed.</source>
        <translation>Los módulos de Windows Media (versión 9 o superior) no están instalados.</translation>
    </message>
    <message>
        <source>No CD fouind in the drive</source>
        <translation>No hay ningún CD en la unidad</translation>
    </message>
    <message>
        <source>Unknown Library Error</source>
        <translation>Error desconocido de la biblioteca de audio</translation>
    </message>
    <message>
        <source>Internal Error</source>
        <translation>Error interno</translation>
    </message>
    <message>
        <source>Recording failed: Missing encoder </source>
        <translation>Error de grabación: falta el codificador </translation>
    </message>
    <message>
        <source>Recording failed: Unable to create output file</source>
        <translation>Error de grabación: no se puede crear el archivo de salida</translation>
    </message>
    <message>
        <source>Recording failed: Unable to write to disk</source>
        <translation>Error de grabación: no se puede escribir en el disco</translation>
    </message>
    <message>
        <source>Recording failed: Encoder has stopped working.</source>
        <translation>Error de grabación: el codificador dejó de funcionar.</translation>
    </message>
    <message>
        <source>Unknown Error</source>
        <translation>Error desconocido</translation>
    </message>
    <message>
        <source>Unknown Station</source>
        <translation>Emisora desconocida</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Failed to connect at this time</source>
        <translation>No se puede conectar en este momento</translation>
    </message>
    <message>
        <source>Reason</source>
        <translation>Motivo</translation>
    </message>
    <message>
        <source>Station</source>
        <translation>Emisora</translation>
    </message>
    <message>
        <source>URL</source>
        <translation>Dirección</translation>
    </message>
    <message>
        <source>Tags</source>
        <translation>Etiquetas</translation>
    </message>
    <message>
        <source>Would you like to report it?</source>
        <translation>¿Quieres informar del problema?</translation>
    </message>
    <message>
        <source>The connection to the sound server was lost.</source>
        <translation>Se perdió la conexión con el servidor de sonido.</translation>
    </message>
    <message>
        <source>Nothing is playing</source>
        <translation>No se está reproduciendo nada</translation>
    </message>
    <message>
        <source>The audio engine could not be loaded: %1</source>
        <translation>No se pudo cargar el motor de audio: %1</translation>
    </message>
</context>
<context>
    <name>CLangManager</name>
    <message>
        <source>The language name &quot;%1&quot; cannot be used as a file name.</source>
        <translation>El nombre de idioma «%1» no se puede usar como nombre de archivo.</translation>
    </message>
    <message>
        <source>Failed to open language file.</source>
        <translation>No se pudo abrir el archivo de idioma.</translation>
    </message>
    <message>
        <source>Reason</source>
        <translation>Motivo</translation>
    </message>
    <message>
        <source>the file is too large</source>
        <translation>el archivo es demasiado grande</translation>
    </message>
    <message>
        <source>The language file could not be downloaded.</source>
        <translation>No se pudo descargar el archivo de idioma.</translation>
    </message>
</context>
<context>
    <name>DesktopLinks</name>
    <message>
        <source>Starting browser</source>
        <translation>Abriendo el navegador</translation>
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
        <translation>Escritorio</translation>
    </message>
    <message>
        <source>Show a notification for each new song</source>
        <translation>Mostrar una notificación con cada canción nueva</translation>
    </message>
    <message>
        <source>Show an icon in the system tray</source>
        <translation>Mostrar un icono en la bandeja del sistema</translation>
    </message>
    <message>
        <source>Closing the window keeps the player in the tray</source>
        <translation>Al cerrar la ventana el reproductor sigue en la bandeja</translation>
    </message>
    <message>
        <source>No proxy</source>
        <translation>Sin proxy</translation>
    </message>
    <message>
        <source>The system&apos;s proxy</source>
        <translation>Proxy del sistema</translation>
    </message>
    <message>
        <source>HTTP proxy</source>
        <translation>Proxy HTTP</translation>
    </message>
    <message>
        <source>SOCKS proxy</source>
        <translation>Proxy SOCKS</translation>
    </message>
    <message>
        <source>Host</source>
        <translation>Host</translation>
    </message>
    <message>
        <source>Proxy host</source>
        <translation>Host del proxy</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Puerto</translation>
    </message>
    <message>
        <source>Proxy port</source>
        <translation>Puerto del proxy</translation>
    </message>
    <message>
        <source>Proxy:</source>
        <translation>Proxy:</translation>
    </message>
    <message>
        <source>Streams connect directly: the player sends them only through HTTP proxies.</source>
        <translation>Las emisiones se conectan directamente: el reproductor solo las envía a través de proxys HTTP.</translation>
    </message>
</context>
<context>
    <name>ExportFiles</name>
    <message>
        <source>The playlist is nested too deeply</source>
        <translation>La lista de reproducción está anidada en demasiados niveles</translation>
    </message>
    <message>
        <source>The playlist is not well-formed XML: %1</source>
        <translation>La lista de reproducción no es un XML bien formado: %1</translation>
    </message>
    <message>
        <source>Favourite stations</source>
        <translation>Emisoras favoritas</translation>
    </message>
    <message>
        <source>The file is too large</source>
        <translation>El archivo es demasiado grande</translation>
    </message>
    <message>
        <source>A quoted field is not closed</source>
        <translation>Falta cerrar las comillas de un campo</translation>
    </message>
    <message>
        <source>Not a wish list: the first line must name the columns</source>
        <translation>No es una lista de deseos: la primera línea debe indicar los nombres de las columnas</translation>
    </message>
</context>
<context>
    <name>HeaderViewEx</name>
    <message>
        <source>Columns</source>
        <translation>Columnas</translation>
    </message>
    <message>
        <source>Choose the columns to show</source>
        <translation>Elige las columnas que se mostrarán</translation>
    </message>
</context>
<context>
    <name>HelpView</name>
    <message>
        <source>God helps those that help themselves.</source>
        <translation>Ayúdate y Dios te ayudará.</translation>
    </message>
    <message>
        <source>Play or stop (outside text fields)</source>
        <translation>Reproducir o detener (fuera de los campos de texto)</translation>
    </message>
    <message>
        <source>Go to the search box</source>
        <translation>Ir al cuadro de búsqueda</translation>
    </message>
    <message>
        <source>Mute or unmute</source>
        <translation>Silenciar o reactivar el sonido</translation>
    </message>
    <message>
        <source>Louder</source>
        <translation>Más alto</translation>
    </message>
    <message>
        <source>Softer</source>
        <translation>Más bajo</translation>
    </message>
    <message>
        <source>Add the selected station to the favorites</source>
        <translation>Añadir la emisora seleccionada a los favoritos</translation>
    </message>
    <message>
        <source>Open a stream or playlist address</source>
        <translation>Abrir la dirección de una emisión o lista de reproducción</translation>
    </message>
    <message>
        <source>This help</source>
        <translation>Esta ayuda</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Salir</translation>
    </message>
    <message>
        <source>Keyboard</source>
        <translation>Teclado</translation>
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
        <translation>Cancelar</translation>
    </message>
</context>
<context>
    <name>LanguageDlgClass</name>
    <message>
        <source>Language</source>
        <translation>Idioma</translation>
    </message>
    <message>
        <source>Language:</source>
        <translation>Idioma:</translation>
    </message>
    <message>
        <source>Please select your preferred language.</source>
        <translation>Elige tu idioma preferido.</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>Next &gt;&gt;</source>
        <translation>Siguiente &gt;&gt;</translation>
    </message>
</context>
<context>
    <name>LaunchArguments</name>
    <message>
        <source>No such file</source>
        <translation>El archivo no existe</translation>
    </message>
    <message>
        <source>Not a playlist file</source>
        <translation>No es un archivo de lista de reproducción</translation>
    </message>
    <message>
        <source>The file is too large for a playlist</source>
        <translation>El archivo es demasiado grande para ser una lista de reproducción</translation>
    </message>
    <message>
        <source>The file lists no stream address</source>
        <translation>El archivo no contiene ninguna dirección de transmisión</translation>
    </message>
    <message>
        <source>Empty argument</source>
        <translation>Argumento vacío</translation>
    </message>
    <message>
        <source>Not a stream address (http, https, mms or rtsp)</source>
        <translation>No es una dirección de transmisión (http, https, mms o rtsp)</translation>
    </message>
</context>
<context>
    <name>LoginDlg</name>
    <message>
        <source>Sign in</source>
        <translation>Iniciar sesión</translation>
    </message>
    <message>
        <source>Forgot your password?</source>
        <translation>¿Olvidaste tu contraseña?</translation>
    </message>
    <message>
        <source>Not a member? Sign up, it&apos;s free!</source>
        <translation>¿Aún no eres miembro? ¡Regístrate gratis!</translation>
    </message>
    <message>
        <source>Member name</source>
        <translation>Nombre de miembro</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Contraseña</translation>
    </message>
    <message>
        <source>&lt;p&gt;Registration is free. You get to access personal services, like keeping your favorites. They will be available from anywhere.&lt;/p&gt;&lt;p&gt;Email validation is required, after registering you will receive further instructions on how to access your account.&lt;/p&gt;</source>
        <translation>&lt;p&gt;El registro es gratuito. Tendrás acceso a servicios personales, como guardar tus favoritas, disponibles desde cualquier lugar.&lt;/p&gt;&lt;p&gt;Hace falta validar el correo: después de registrarte recibirás las instrucciones para acceder a tu cuenta.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>Resending password</source>
        <translation>Reenviando la contraseña</translation>
    </message>
    <message>
        <source>Password sent</source>
        <translation>Contraseña enviada</translation>
    </message>
    <message>
        <source>Member name is missing!</source>
        <translation>¡Falta el nombre de miembro!</translation>
    </message>
    <message>
        <source>Password is missing!</source>
        <translation>¡Falta la contraseña!</translation>
    </message>
    <message>
        <source>Verifying</source>
        <translation>Verificando</translation>
    </message>
    <message>
        <source>Member name or e-mail address</source>
        <translation>Nombre de miembro o correo electrónico</translation>
    </message>
    <message>
        <source>Request password</source>
        <translation>Solicitar contraseña</translation>
    </message>
    <message>
        <source>Send</source>
        <translation>Enviar</translation>
    </message>
</context>
<context>
    <name>ProxySetting</name>
    <message>
        <source>Enter the proxy&apos;s host name or address</source>
        <translation>Escribe el nombre o la dirección del servidor proxy</translation>
    </message>
    <message>
        <source>The proxy host is not a host name or address</source>
        <translation>El servidor proxy indicado no es un nombre de servidor ni una dirección</translation>
    </message>
    <message>
        <source>The proxy port must be between 1 and 65535</source>
        <translation>El puerto del proxy debe estar entre 1 y 65535</translation>
    </message>
</context>
<context>
    <name>RecordControl</name>
    <message>
        <source>Split by song</source>
        <translation>Dividir por canción</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>Grabar</translation>
    </message>
    <message>
        <source>Records the playing station into the recordings folder</source>
        <translation>Graba la emisora en reproducción en la carpeta de grabaciones</translation>
    </message>
    <message>
        <source>Recorded time</source>
        <translation>Tiempo grabado</translation>
    </message>
    <message>
        <source>Recording: %1</source>
        <translation>Grabando: %1</translation>
    </message>
    <message>
        <source>Recording saved: %1</source>
        <translation>Grabación guardada: %1</translation>
    </message>
    <message>
        <source>Stop recording</source>
        <translation>Detener la grabación</translation>
    </message>
    <message>
        <source>Record the playing station</source>
        <translation>Grabar la emisora en reproducción</translation>
    </message>
</context>
<context>
    <name>RecordingSettings</name>
    <message>
        <source>Recording</source>
        <translation>Grabación</translation>
    </message>
    <message>
        <source>Recordings folder:</source>
        <translation>Carpeta de grabaciones:</translation>
    </message>
    <message>
        <source>Choose...</source>
        <translation>Elegir...</translation>
    </message>
    <message>
        <source>Choose the recordings folder</source>
        <translation>Elegir la carpeta de grabaciones</translation>
    </message>
    <message>
        <source>Recording format:</source>
        <translation>Formato de grabación:</translation>
    </message>
    <message>
        <source>Split by song</source>
        <translation>Dividir por canción</translation>
    </message>
    <message>
        <source>Begin a new file, named after the song, whenever the title changes</source>
        <translation>Empezar un archivo nuevo, con el nombre de la canción, cada vez que cambia el título</translation>
    </message>
    <message>
        <source>Not available: the encoder is missing</source>
        <translation>No disponible: falta el codificador</translation>
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
        <translation>Formato propio del flujo</translation>
    </message>
    <message>
        <source>Recordings folder</source>
        <translation>Carpeta de grabaciones</translation>
    </message>
</context>
<context>
    <name>ResendEmail</name>
    <message>
        <source>Resend activation email</source>
        <translation>Reenviar el correo de activación</translation>
    </message>
    <message>
        <source>Sign in with a different account</source>
        <translation>Iniciar sesión con otra cuenta</translation>
    </message>
    <message>
        <source>Account %1 is not activated yet, please follow instructions in your email</source>
        <translation>La cuenta %1 aún no está activada; sigue las instrucciones de tu correo</translation>
    </message>
    <message>
        <source>Your account has been created and we have sent you an e-mail, follow instructions there to activate your account.</source>
        <translation>Tu cuenta se ha creado y te hemos enviado un correo; sigue sus instrucciones para activarla.</translation>
    </message>
    <message>
        <source>Authenticating</source>
        <translation>Autenticando</translation>
    </message>
    <message>
        <source>Email sent</source>
        <translation>Correo enviado</translation>
    </message>
</context>
<context>
    <name>Settings</name>
    <message>
        <source>Do nothing</source>
        <translation>No hacer nada</translation>
    </message>
    <message>
        <source>Start the last played station</source>
        <translation>Poner la última emisora escuchada</translation>
    </message>
    <message>
        <source>Language:</source>
        <translation>Idioma:</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Actualizar</translation>
    </message>
    <message>
        <source>Refresh the available languages</source>
        <translation>Actualizar los idiomas disponibles</translation>
    </message>
    <message>
        <source>Minimum Bitrate:</source>
        <translation>Tasa de bits mínima:</translation>
    </message>
    <message>
        <source>Maximum Bitrate:</source>
        <translation>Tasa de bits máxima:</translation>
    </message>
    <message>
        <source>On Startup:</source>
        <translation>Al iniciar:</translation>
    </message>
    <message>
        <source>Home Location:</source>
        <translation>Ubicación:</translation>
    </message>
    <message>
        <source>Set</source>
        <translation>Guardar</translation>
    </message>
    <message>
        <source>Username:</source>
        <translation>Usuario:</translation>
    </message>
    <message>
        <source>Email Address:</source>
        <translation>Correo electrónico:</translation>
    </message>
    <message>
        <source>To change your username, email or password - please log in to your account on TunoraWeb.</source>
        <translation>Para cambiar tu usuario, correo o contraseña, inicia sesión en tu cuenta de TunoraWeb.</translation>
    </message>
    <message>
        <source>Sign Out</source>
        <translation>Cerrar sesión</translation>
    </message>
    <message>
        <source>Save Settings</source>
        <translation>Guardar ajustes</translation>
    </message>
    <message>
        <source>Unlimited</source>
        <translation>Sin límite</translation>
    </message>
    <message>
        <source>Tunora Player</source>
        <translation>Tunora Player</translation>
    </message>
    <message>
        <source>Your new settings will be applied when Tunora restarts, restart now?</source>
        <translation>Los nuevos ajustes se aplicarán cuando Tunora se reinicie. ¿Reiniciar ahora?</translation>
    </message>
</context>
<context>
    <name>Signup</name>
    <message>
        <source>Sign up</source>
        <translation>Registrarse</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Atrás</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Ayuda</translation>
    </message>
    <message>
        <source>Member name</source>
        <translation>Nombre de miembro</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Contraseña</translation>
    </message>
    <message>
        <source>Retype Password</source>
        <translation>Repite la contraseña</translation>
    </message>
    <message>
        <source>Email</source>
        <translation>Correo electrónico</translation>
    </message>
    <message>
        <source>Retype Email</source>
        <translation>Repite el correo</translation>
    </message>
    <message>
        <source>&lt;p&gt;Choose a member name of 3 to 32 letters or digits and a password of at least 6 characters.&lt;/p&gt;&lt;p&gt;We send an e-mail to the address you give; follow the link in it to activate your account.&lt;/p&gt;</source>
        <translation>&lt;p&gt;Elige un nombre de miembro de 3 a 32 letras o cifras y una contraseña de al menos 6 caracteres.&lt;/p&gt;&lt;p&gt;Enviaremos un correo a la dirección que indiques; sigue el enlace que contiene para activar tu cuenta.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Cerrar</translation>
    </message>
    <message>
        <source>All boxes must be filled in</source>
        <translation>Hay que rellenar todos los campos</translation>
    </message>
    <message>
        <source>Emails are not the same</source>
        <translation>Los correos no coinciden</translation>
    </message>
    <message>
        <source>Passwords are not the same</source>
        <translation>Las contraseñas no coinciden</translation>
    </message>
    <message>
        <source>Verifying</source>
        <translation>Verificando</translation>
    </message>
</context>
<context>
    <name>Stream</name>
    <message>
        <source>The playlists of this station lead too deep.</source>
        <translation>Las listas de reproducción de esta emisora se remiten unas a otras demasiadas veces.</translation>
    </message>
    <message>
        <source>The station has no address.</source>
        <translation>La emisora no tiene dirección.</translation>
    </message>
    <message>
        <source>The station&apos;s address is not valid.</source>
        <translation>La dirección de la emisora no es válida.</translation>
    </message>
    <message>
        <source>No playlist is being downloaded.</source>
        <translation>No se está descargando ninguna lista de reproducción.</translation>
    </message>
    <message>
        <source>The playlist holds no stream address.</source>
        <translation>La lista de reproducción no contiene ninguna dirección de transmisión.</translation>
    </message>
</context>
<context>
    <name>TrackHistoryFrame</name>
    <message>
        <source>Recently Played</source>
        <translation>Sonaron hace poco</translation>
    </message>
</context>
<context>
    <name>TrackLists</name>
    <message>
        <source>The wish list %1 could not be read completely (%2).</source>
        <translation>No se pudo leer por completo la lista de deseos %1 (%2).</translation>
    </message>
    <message>
        <source>A copy of it was kept as %1.</source>
        <translation>Se guardó una copia como %1.</translation>
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
        <translation>Añadir a la lista de deseos</translation>
    </message>
    <message>
        <source>Remove from wish list</source>
        <translation>Quitar de la lista de deseos</translation>
    </message>
    <message>
        <source>Buy song/album</source>
        <translation>Comprar canción/álbum</translation>
    </message>
    <message>
        <source>Play song</source>
        <translation>Reproducir la canción</translation>
    </message>
</context>
<context>
    <name>TrackWishListFrame</name>
    <message>
        <source>Wish List</source>
        <translation>Lista de deseos</translation>
    </message>
</context>
<context>
    <name>TreeRadioWidget</name>
    <message>
        <source>&amp;Refresh</source>
        <translation>&amp;Actualizar</translation>
    </message>
    <message>
        <source>&amp;Single click collapses navigation menu</source>
        <translation>Un &amp;solo clic contrae el menú de navegación</translation>
    </message>
    <message>
        <source>Refresh the current contents</source>
        <translation>Actualizar el contenido actual</translation>
    </message>
    <message>
        <source>Navigation menu</source>
        <translation>Menú de navegación</translation>
    </message>
    <message>
        <source>FAVORITES</source>
        <translation>FAVORITAS</translation>
    </message>
    <message>
        <source>WISH LIST</source>
        <translation>LISTA DE DESEOS</translation>
    </message>
    <message>
        <source>REGIONS</source>
        <translation>REGIONES</translation>
    </message>
    <message>
        <source>GENRES</source>
        <translation>GÉNEROS</translation>
    </message>
    <message>
        <source>HISTORY</source>
        <translation>HISTORIAL</translation>
    </message>
    <message>
        <source>SEARCH RESULTS</source>
        <translation>RESULTADOS DE BÚSQUEDA</translation>
    </message>
    <message>
        <source>SETTINGS</source>
        <translation>AJUSTES</translation>
    </message>
    <message>
        <source>Getting Countries</source>
        <translation>Cargando los países</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>Getting Genres</source>
        <translation>Cargando los géneros</translation>
    </message>
</context>
<context>
    <name>TreeStationWidget</name>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Copiar</translation>
    </message>
    <message>
        <source>&amp;Add To Favorites</source>
        <translation>&amp;Añadir a favoritas</translation>
    </message>
    <message>
        <source>&amp;Remove From Favorites</source>
        <translation>&amp;Quitar de favoritas</translation>
    </message>
    <message>
        <source>&amp;Play</source>
        <translation>Re&amp;producir</translation>
    </message>
    <message>
        <source>&amp;Stop</source>
        <translation>&amp;Detener</translation>
    </message>
    <message>
        <source>#</source>
        <translation>#</translation>
    </message>
    <message>
        <source>Stations</source>
        <translation>Emisoras</translation>
    </message>
    <message>
        <source>Playing Now</source>
        <translation>Sonando ahora</translation>
    </message>
    <message>
        <source>Genres</source>
        <translation>Géneros</translation>
    </message>
    <message>
        <source>Location</source>
        <translation>Ubicación</translation>
    </message>
    <message>
        <source>Network</source>
        <translation>Cadena</translation>
    </message>
    <message>
        <source>Website</source>
        <translation>Sitio web</translation>
    </message>
    <message>
        <source>Copy the current contents to the clipboard</source>
        <translation>Copiar el contenido actual al portapapeles</translation>
    </message>
    <message>
        <source>Add the selected station to your favorites</source>
        <translation>Añadir la emisora seleccionada a tus favoritas</translation>
    </message>
    <message>
        <source>Remove the selected station from your favorites</source>
        <translation>Quitar la emisora seleccionada de tus favoritas</translation>
    </message>
    <message>
        <source>Play the selected station</source>
        <translation>Reproducir la emisora seleccionada</translation>
    </message>
    <message>
        <source>Stop playing the selected station</source>
        <translation>Detener la reproducción de la emisora seleccionada</translation>
    </message>
    <message>
        <source>Getting Favorites</source>
        <translation>Cargando las favoritas</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>Getting History</source>
        <translation>Cargando el historial</translation>
    </message>
    <message>
        <source>Getting Stations</source>
        <translation>Cargando las emisoras</translation>
    </message>
    <message>
        <source>more</source>
        <translation>más</translation>
    </message>
    <message>
        <source>total</source>
        <translation>en total</translation>
    </message>
    <message>
        <source>More stations</source>
        <translation>Más emisoras</translation>
    </message>
    <message>
        <source>Starting browser</source>
        <translation>Abriendo el navegador</translation>
    </message>
</context>
<context>
    <name>TreeWidgetBase</name>
    <message>
        <source>&amp;Reset column layout</source>
        <translation>&amp;Restablecer la disposición de las columnas</translation>
    </message>
    <message>
        <source>Reset all columns to their default size and layout</source>
        <translation>Devolver todas las columnas a su tamaño y disposición predeterminados</translation>
    </message>
</context>
<context>
    <name>TunoraAPI</name>
    <message>
        <source>Getting History</source>
        <translation>Cargando el historial</translation>
    </message>
    <message>
        <source>Getting </source>
        <translation>Cargando </translation>
    </message>
    <message>
        <source>languages</source>
        <translation>idiomas</translation>
    </message>
    <message>
        <source> version information</source>
        <translation> información de versión</translation>
    </message>
    <message>
        <source>account information</source>
        <translation>información de la cuenta</translation>
    </message>
    <message>
        <source>Checking</source>
        <translation>Comprobando</translation>
    </message>
    <message>
        <source>Setting home location</source>
        <translation>Guardando la ubicación</translation>
    </message>
    <message>
        <source>Creating account</source>
        <translation>Creando la cuenta</translation>
    </message>
    <message>
        <source>Resending password</source>
        <translation>Reenviando la contraseña</translation>
    </message>
    <message>
        <source>Getting Translation</source>
        <translation>Cargando la traducción</translation>
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
        <translation>Busca emisoras o lo que suena ahora</translation>
    </message>
    <message>
        <source>%1%</source>
        <translation>%1%</translation>
    </message>
    <message>
        <source>No stream address found</source>
        <translation>No se encontró ninguna dirección de transmisión</translation>
    </message>
    <message>
        <source>Connecting</source>
        <translation>Conectando</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>Downloading</source>
        <translation>Descargando</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Detener</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Reproducir</translation>
    </message>
    <message>
        <source>Buffering</source>
        <translation>Almacenando en búfer</translation>
    </message>
    <message>
        <source>Last played</source>
        <translation>Anterior</translation>
    </message>
    <message>
        <source>Station Timed Out!</source>
        <translation>¡Se agotó el tiempo de espera de la emisora!</translation>
    </message>
    <message>
        <source>Playing</source>
        <translation>Sonando</translation>
    </message>
    <message>
        <source>Track History</source>
        <translation>Historial de canciones</translation>
    </message>
    <message>
        <source>Open URL</source>
        <translation>Abrir dirección</translation>
    </message>
    <message>
        <source>Stream or playlist address:</source>
        <translation>Dirección de la transmisión o de la lista de reproducción:</translation>
    </message>
    <message>
        <source>Not a web address: %1</source>
        <translation>No es una dirección web: %1</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Buscar</translation>
    </message>
    <message>
        <source>for</source>
        <translation>de</translation>
    </message>
    <message>
        <source>Previous page</source>
        <translation>Página anterior</translation>
    </message>
    <message>
        <source>Next page</source>
        <translation>Página siguiente</translation>
    </message>
    <message>
        <source>News</source>
        <translation>Noticias</translation>
    </message>
    <message>
        <source>Buy song/album</source>
        <translation>Comprar canción/álbum</translation>
    </message>
    <message>
        <source>A restart is required for this option.</source>
        <translation>Esta opción requiere reiniciar el programa.</translation>
    </message>
    <message>
        <source>Welcome</source>
        <translation>Bienvenida</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Ayuda</translation>
    </message>
    <message>
        <source>Starting browser</source>
        <translation>Abriendo el navegador</translation>
    </message>
    <message>
        <source>Check for &amp;new version...</source>
        <translation>Buscar una &amp;nueva versión...</translation>
    </message>
    <message>
        <source>Ask the directory whether a newer version exists</source>
        <translation>Preguntar al directorio si hay una versión más reciente</translation>
    </message>
    <message>
        <source>No Languages Found</source>
        <translation>No se encontraron idiomas</translation>
    </message>
    <message>
        <source>Select Language</source>
        <translation>Elegir idioma</translation>
    </message>
    <message>
        <source>Please select your language</source>
        <translation>Elige tu idioma.</translation>
    </message>
    <message>
        <source>The language %1 could not be loaded.</source>
        <translation>No se pudo cargar el idioma %1.</translation>
    </message>
    <message>
        <source>Tunora &amp;Web Site</source>
        <translation>Sitio &amp;web de Tunora</translation>
    </message>
    <message>
        <source>Browse the Tunora web site, sign in there and play its stations here</source>
        <translation>Explorar el sitio web de Tunora, iniciar sesión en él y escuchar aquí sus emisoras</translation>
    </message>
    <message>
        <source>Web Site</source>
        <translation>Sitio web</translation>
    </message>
    <message>
        <source>The sound output was lost; playback goes on when it is back.</source>
        <translation>Se perdió la salida de sonido; la reproducción seguirá en cuanto vuelva.</translation>
    </message>
    <message>
        <source>The sound output is back.</source>
        <translation>La salida de sonido ha vuelto.</translation>
    </message>
    <message>
        <source>Web pages</source>
        <translation>Páginas web</translation>
    </message>
    <message>
        <source>The web pages cannot be shown: %1</source>
        <translation>No se pueden mostrar las páginas web: %1</translation>
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
        <translation>Navegación</translation>
    </message>
    <message>
        <source>Album cover</source>
        <translation>Carátula del álbum</translation>
    </message>
    <message>
        <source>Play or stop</source>
        <translation>Reproducir o detener</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Reproducir</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>Volumen</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Buscar</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Archivo</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>A&amp;yuda</translation>
    </message>
    <message>
        <source>Open URL...</source>
        <translation>Abrir dirección...</translation>
    </message>
    <message>
        <source>Ctrl+L</source>
        <translation>Ctrl+L</translation>
    </message>
    <message>
        <source>&amp;Sign in...</source>
        <translation>&amp;Iniciar sesión...</translation>
    </message>
    <message>
        <source>Sign &amp;out</source>
        <translation>&amp;Cerrar sesión</translation>
    </message>
    <message>
        <source>&amp;Languages...</source>
        <translation>&amp;Idiomas...</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Salir</translation>
    </message>
    <message>
        <source>Ctrl+Q</source>
        <translation>Ctrl+Q</translation>
    </message>
    <message>
        <source>&amp;About...</source>
        <translation>&amp;Acerca de...</translation>
    </message>
    <message>
        <source>Clear Column Settings</source>
        <translation>Borrar los ajustes de las columnas</translation>
    </message>
    <message>
        <source>Change &amp;font...</source>
        <translation>Cambiar la &amp;fuente...</translation>
    </message>
    <message>
        <source>Change the application font</source>
        <translation>Cambiar la fuente de la aplicación</translation>
    </message>
    <message>
        <source>&amp;Single click collapses navigation menu</source>
        <translation>Un &amp;solo clic contrae el menú de navegación</translation>
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
        <translation>&lt;b&gt;No hay ninguna versión nueva.&lt;/b&gt;&lt;br&gt;&lt;br&gt;Versión actual: &lt;b&gt;%1&lt;/b&gt;&lt;br&gt;Última versión: &lt;b&gt;%2&lt;/b&gt;</translation>
    </message>
    <message>
        <source>&lt;b&gt;New version found.&lt;/b&gt;&lt;br&gt;&lt;br&gt;Current Version: &lt;b&gt;%1&lt;/b&gt;&lt;br&gt;Latest Version: &lt;b&gt;%2&lt;/b&gt;&lt;br&gt;&lt;br&gt;&lt;b&gt;Changes:&lt;/b&gt;&lt;br&gt;%3&lt;br&gt;&lt;br&gt;&lt;b&gt;Would you like to install it?&lt;/b&gt;</source>
        <translation>&lt;b&gt;Hay una versión nueva.&lt;/b&gt;&lt;br&gt;&lt;br&gt;Versión actual: &lt;b&gt;%1&lt;/b&gt;&lt;br&gt;Última versión: &lt;b&gt;%2&lt;/b&gt;&lt;br&gt;&lt;br&gt;&lt;b&gt;Cambios:&lt;/b&gt;&lt;br&gt;%3&lt;br&gt;&lt;br&gt;&lt;b&gt;¿Quieres instalarla?&lt;/b&gt;</translation>
    </message>
    <message>
        <source>The update could not be downloaded.</source>
        <translation>No se pudo descargar la actualización.</translation>
    </message>
    <message>
        <source>The update was saved as %1.</source>
        <translation>La actualización se guardó como %1.</translation>
    </message>
    <message>
        <source>The download address is not a secure (https) address.</source>
        <translation>La dirección de descarga no es segura (https).</translation>
    </message>
    <message>
        <source>The directory did not announce the size of the download.</source>
        <translation>El directorio no indicó el tamaño de la descarga.</translation>
    </message>
    <message>
        <source>The announced checksum is not a SHA-256 checksum.</source>
        <translation>La suma de comprobación anunciada no es SHA-256.</translation>
    </message>
    <message>
        <source>The folder %1 cannot be created.</source>
        <translation>No se puede crear la carpeta %1.</translation>
    </message>
    <message>
        <source>Downloading the new version...</source>
        <translation>Descargando la versión nueva...</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>The download was redirected to an address that is not secure.</source>
        <translation>La descarga se redirigió a una dirección que no es segura.</translation>
    </message>
    <message>
        <source>The download is larger than announced.</source>
        <translation>La descarga es más grande de lo anunciado.</translation>
    </message>
    <message>
        <source>The server answered with status %1.</source>
        <translation>El servidor respondió con el estado %1.</translation>
    </message>
    <message>
        <source>The download has %1 bytes instead of the announced %2.</source>
        <translation>La descarga tiene %1 bytes en lugar de los %2 anunciados.</translation>
    </message>
    <message>
        <source>The checksum of the download does not match the announced one.</source>
        <translation>La suma de comprobación de la descarga no coincide con la anunciada.</translation>
    </message>
    <message>
        <source>The download was cancelled.</source>
        <translation>La descarga se canceló.</translation>
    </message>
</context>
<context>
    <name>WelcomeView</name>
    <message>
        <source>Welcome to the world of Live Internet Radio!</source>
        <translation>¡Te damos la bienvenida al mundo de la radio por Internet en directo!</translation>
    </message>
    <message>
        <source>Add your favorite stations</source>
        <translation>Añade tus emisoras favoritas</translation>
    </message>
    <message>
        <source>Make a wish list of songs</source>
        <translation>Crea una lista de deseos con tus canciones</translation>
    </message>
    <message>
        <source>Find your favorite station</source>
        <translation>Encuentra tu emisora favorita</translation>
    </message>
    <message>
        <source>Search what&apos;s playing now</source>
        <translation>Busca lo que suena ahora</translation>
    </message>
</context>
<context>
    <name>WindowDesktop</name>
    <message>
        <source>Play/Stop</source>
        <translation>Reproducir/Detener</translation>
    </message>
    <message>
        <source>Plays the current station or stops it</source>
        <translation>Reproduce la emisora actual o la detiene</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Búsqueda</translation>
    </message>
    <message>
        <source>Moves to the search box</source>
        <translation>Va al cuadro de búsqueda</translation>
    </message>
    <message>
        <source>Mute</source>
        <translation>Silenciar</translation>
    </message>
    <message>
        <source>Turns the sound off or on again</source>
        <translation>Apaga el sonido o lo vuelve a encender</translation>
    </message>
    <message>
        <source>Louder</source>
        <translation>Más alto</translation>
    </message>
    <message>
        <source>Raises the volume</source>
        <translation>Sube el volumen</translation>
    </message>
    <message>
        <source>Softer</source>
        <translation>Más bajo</translation>
    </message>
    <message>
        <source>Lowers the volume</source>
        <translation>Baja el volumen</translation>
    </message>
    <message>
        <source>Add to Favorites</source>
        <translation>Añadir a favoritos</translation>
    </message>
    <message>
        <source>Adds the selected station to the favorites</source>
        <translation>Añade la emisora seleccionada a los favoritos</translation>
    </message>
    <message>
        <source>Sleep Timer</source>
        <translation>Temporizador de apagado</translation>
    </message>
    <message>
        <source>Export Favorites...</source>
        <translation>Exportar favoritos...</translation>
    </message>
    <message>
        <source>Import Favorites...</source>
        <translation>Importar favoritos...</translation>
    </message>
    <message>
        <source>Export Wish List...</source>
        <translation>Exportar lista de deseos...</translation>
    </message>
    <message>
        <source>Import Wish List...</source>
        <translation>Importar lista de deseos...</translation>
    </message>
    <message>
        <source>At the end of this song</source>
        <translation>Al final de esta canción</translation>
    </message>
    <message>
        <source>Playback stops at the end of this song</source>
        <translation>La reproducción se detiene al final de esta canción</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Desactivado</translation>
    </message>
    <message>
        <source>Sleep timer: playback stopped</source>
        <translation>Temporizador de apagado: reproducción detenida</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Reproducir</translation>
    </message>
    <message>
        <source>Plays the current station or stops it (Space)</source>
        <translation>Reproduce la emisora actual o la detiene (Espacio)</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>Volumen</translation>
    </message>
    <message>
        <source>Volume of the player (Ctrl+Up, Ctrl+Down)</source>
        <translation>Volumen del reproductor (Ctrl+Arriba, Ctrl+Abajo)</translation>
    </message>
    <message>
        <source>Album cover</source>
        <translation>Portada del álbum</translation>
    </message>
    <message>
        <source>The cover of the song playing; click it to enlarge</source>
        <translation>La portada de la canción que suena; haz clic para ampliarla</translation>
    </message>
    <message>
        <source>Searches stations or what they play (Ctrl+F)</source>
        <translation>Busca emisoras o lo que emiten (Ctrl+F)</translation>
    </message>
    <message>
        <source>Search options</source>
        <translation>Opciones de búsqueda</translation>
    </message>
    <message>
        <source>Sections</source>
        <translation>Secciones</translation>
    </message>
    <message>
        <source>Favorites, wish list, regions, genres, history and more</source>
        <translation>Favoritos, lista de deseos, regiones, géneros, historial y más</translation>
    </message>
    <message>
        <source>Stations</source>
        <translation>Emisoras</translation>
    </message>
    <message>
        <source>News</source>
        <translation>Noticias</translation>
    </message>
    <message>
        <source>Show Tunora Player</source>
        <translation>Mostrar Tunora Player</translation>
    </message>
    <message>
        <source>Not played: %1 (%2)</source>
        <translation>No reproducido: %1 (%2)</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Detener</translation>
    </message>
    <message>
        <source>Tunora Player</source>
        <translation>Tunora Player</translation>
    </message>
    <message>
        <source>Select a station first</source>
        <translation>Selecciona primero una emisora</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Exportar</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>Importar</translation>
    </message>
    <message>
        <source>Playlists (*.m3u *.xspf)</source>
        <translation>Listas de reproducción (*.m3u *.xspf)</translation>
    </message>
    <message>
        <source>Playlists (*.m3u *.m3u8 *.xspf *.pls)</source>
        <translation>Listas de reproducción (*.m3u *.m3u8 *.xspf *.pls)</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>Archivos CSV (*.csv)</translation>
    </message>
    <message>
        <source>Wish list exported to %1</source>
        <translation>Lista de deseos exportada a %1</translation>
    </message>
    <message>
        <source>Sign in first: the wish list belongs to your account.</source>
        <translation>Inicia sesión primero: la lista de deseos pertenece a tu cuenta.</translation>
    </message>
    <message>
        <source>The favorites could not be read from the directory.</source>
        <translation>No se pudieron leer los favoritos del directorio.</translation>
    </message>
    <message>
        <source>Another transfer of favorites is under way.</source>
        <translation>Ya hay otra transferencia de favoritos en curso.</translation>
    </message>
    <message>
        <source>Not found in the directory: %1</source>
        <translation>No encontradas en el directorio: %1</translation>
    </message>
    <message>
        <source>%1 minutes</source>
        <translation>%1 minutos</translation>
    </message>
    <message>
        <source>Playback stops in %1 minutes</source>
        <translation>La reproducción se detiene en %1 minutos</translation>
    </message>
    <message>
        <source>Songs added to the wish list: %1.</source>
        <translation>Canciones añadidas a la lista de deseos: %1.</translation>
    </message>
    <message>
        <source>Lines that could not be read: %1.</source>
        <translation>Líneas que no se pudieron leer: %1.</translation>
    </message>
    <message>
        <source>Favorites exported to %1: %2</source>
        <translation>Favoritos exportados a %1: %2</translation>
    </message>
    <message>
        <source>Stations added to the favorites: %1.</source>
        <translation>Emisoras añadidas a los favoritos: %1.</translation>
    </message>
    <message>
        <source>Entries left out for want of a usable address: %1.</source>
        <translation>Entradas omitidas por falta de una dirección utilizable: %1.</translation>
    </message>
    <message>
        <source>&amp;Playback</source>
        <translation>&amp;Reproducción</translation>
    </message>
</context>
<context>
    <name>WishListPageBuilder</name>
    <message>
        <source>Remove from your wish list</source>
        <translation>Quitar de tu lista de deseos</translation>
    </message>
    <message>
        <source>Contents changed, click here to refresh</source>
        <translation>El contenido ha cambiado; haz clic aquí para actualizar</translation>
    </message>
</context>
<context>
    <name>login</name>
    <message>
        <source>Sign in</source>
        <translation>Iniciar sesión</translation>
    </message>
    <message>
        <source>Close help</source>
        <translation>Cerrar la ayuda</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Ayuda</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Atrás</translation>
    </message>
</context>
</TS>
