<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>AboutDialog</name>
    <message>
        <source>About</source>
        <translation>À propos</translation>
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
        <translation>Tunora Player lit les stations de radio Internet d&apos;un annuaire en ligne, classées par genre, région et pays, et trouve les stations d&apos;après ce qu&apos;elles diffusent en ce moment.

Pendant l&apos;écoute d&apos;une station, il affiche l&apos;artiste et le titre, le titre précédent et la pochette de l&apos;album, conserve les titres entendus dans un historique des titres et ceux que vous aimez dans une liste de souhaits.

Vos stations favorites et les stations que vous avez écoutées sont conservées dans votre compte.</translation>
    </message>
</context>
<context>
    <name>BASS::BaseRadioAPI</name>
    <message>
        <source>The data returned from the server was not in the correct format.</source>
        <translation>Les données renvoyées par le serveur n&apos;étaient pas au bon format.</translation>
    </message>
    <message>
        <source>The reply is larger than %1 bytes.</source>
        <translation>La réponse dépasse %1 octets.</translation>
    </message>
    <message>
        <source>An element carries more than %1 attributes.</source>
        <translation>Un élément porte plus de %1 attributs.</translation>
    </message>
    <message>
        <source>Elements are nested more than %1 deep.</source>
        <translation>Les éléments sont imbriqués sur plus de %1 niveaux.</translation>
    </message>
    <message>
        <source>Invalid URL specified</source>
        <translation>Adresse non valide</translation>
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
        <translation>Recherche de la pochette...</translation>
    </message>
    <message>
        <source>Cover art found</source>
        <translation>Pochette trouvée</translation>
    </message>
    <message>
        <source>Cover art not found</source>
        <translation>Pochette introuvable</translation>
    </message>
    <message>
        <source>Searching for lyrics...</source>
        <translation>Recherche des paroles...</translation>
    </message>
    <message>
        <source>Lyrics Found</source>
        <translation>Paroles trouvées</translation>
    </message>
    <message>
        <source>Lyrics not found</source>
        <translation>Paroles introuvables</translation>
    </message>
    <message>
        <source>Nothing found about</source>
        <translation>Rien trouvé sur</translation>
    </message>
    <message>
        <source>Click here to search Google in your default browser</source>
        <translation>Cliquez ici pour lancer une recherche web dans votre navigateur</translation>
    </message>
</context>
<context>
    <name>BASS::HttpDownloadDlg</name>
    <message>
        <source>Please wait</source>
        <translation>Veuillez patienter</translation>
    </message>
    <message>
        <source>Downloading</source>
        <translation>Téléchargement</translation>
    </message>
    <message>
        <source>Connecting</source>
        <translation>Connexion</translation>
    </message>
    <message>
        <source>kb</source>
        <translation>Ko</translation>
    </message>
    <message>
        <source>mb</source>
        <translation>Mo</translation>
    </message>
    <message>
        <source>gb</source>
        <translation>Go</translation>
    </message>
    <message>
        <source>tb</source>
        <translation>To</translation>
    </message>
</context>
<context>
    <name>BASS::MprisPlayer</name>
    <message>
        <source>Unknown Station</source>
        <translation>Station inconnue</translation>
    </message>
</context>
<context>
    <name>BASS::QHttpExt</name>
    <message>
        <source>No error condition. Note: When the HTTP protocol returns a redirect no error will be reported. You can check if there is a redirect with the QNetworkRequest::RedirectionTargetAttribute attribute.</source>
        <translation>Aucune erreur. Remarque : une redirection HTTP n&apos;est pas signalée comme une erreur. L&apos;attribut QNetworkRequest::RedirectionTargetAttribute indique s&apos;il y a une redirection.</translation>
    </message>
    <message>
        <source>The remote server refused the connection (the server is not accepting requests)</source>
        <translation>Le serveur distant a refusé la connexion (il n&apos;accepte pas de requêtes)</translation>
    </message>
    <message>
        <source>The remote server closed the connection prematurely, before the entire reply was received and processed</source>
        <translation>Le serveur distant a fermé la connexion avant que la réponse complète soit reçue et traitée</translation>
    </message>
    <message>
        <source>The remote host name was not found (invalid hostname)</source>
        <translation>Le nom d&apos;hôte distant est introuvable (nom non valide)</translation>
    </message>
    <message>
        <source>The connection to the remote server timed out</source>
        <translation>La connexion au serveur distant a expiré</translation>
    </message>
    <message>
        <source>The operation was canceled via calls to abort() or close() before it was finished.</source>
        <translation>L&apos;opération a été annulée par abort() ou close() avant sa fin.</translation>
    </message>
    <message>
        <source>The SSL/TLS handshake failed and the encrypted channel could not be established. The sslErrors() signal should have been emitted.</source>
        <translation>La négociation SSL/TLS a échoué et le canal chiffré n&apos;a pas pu être établi. Le signal sslErrors() aurait dû être émis.</translation>
    </message>
    <message>
        <source>The connection to the proxy server was refused (the proxy server is not accepting requests)</source>
        <translation>Le serveur proxy a refusé la connexion (il n&apos;accepte pas de requêtes)</translation>
    </message>
    <message>
        <source>The proxy server closed the connection prematurely, before the entire reply was received and processed</source>
        <translation>Le serveur proxy a fermé la connexion avant que la réponse complète soit reçue et traitée</translation>
    </message>
    <message>
        <source>The proxy host name was not found (invalid proxy hostname)</source>
        <translation>Le nom d&apos;hôte du proxy est introuvable (nom non valide)</translation>
    </message>
    <message>
        <source>The connection to the proxy timed out or the proxy did not reply in time to the request sent</source>
        <translation>La connexion au proxy a expiré ou le proxy n&apos;a pas répondu à temps à la requête</translation>
    </message>
    <message>
        <source>The proxy requires authentication in order to honour the request but did not accept any credentials offered (if any)</source>
        <translation>Le proxy exige une authentification et n&apos;a accepté aucun des identifiants proposés (le cas échéant)</translation>
    </message>
    <message>
        <source>The access to the remote content was denied (similar to HTTP error 401)</source>
        <translation>L&apos;accès au contenu distant a été refusé (comme l&apos;erreur HTTP 401)</translation>
    </message>
    <message>
        <source>The operation requested on the remote content is not permitted</source>
        <translation>L&apos;opération demandée sur le contenu distant n&apos;est pas autorisée</translation>
    </message>
    <message>
        <source>The remote content was not found at the server (similar to HTTP error 404)</source>
        <translation>Le contenu distant est introuvable sur le serveur (comme l&apos;erreur HTTP 404)</translation>
    </message>
    <message>
        <source>The remote server requires authentication to serve the content but the credentials provided were not accepted (if any)</source>
        <translation>Le serveur distant exige une authentification et n&apos;a pas accepté les identifiants fournis (le cas échéant)</translation>
    </message>
    <message>
        <source>The request needed to be sent again, but this failed for example because the upload data could not be read a second time.</source>
        <translation>La requête devait être renvoyée, mais cela a échoué, par exemple parce que les données à envoyer n&apos;ont pas pu être relues.</translation>
    </message>
    <message>
        <source>The Network Access API cannot honor the request because the protocol is not known.</source>
        <translation>La requête ne peut pas être traitée car le protocole est inconnu.</translation>
    </message>
    <message>
        <source>Please go to settings and check &apos;Use old but compatible network library&apos; if this problem persists.</source>
        <translation>Si le problème persiste, cochez « Utiliser l&apos;ancienne bibliothèque réseau compatible » dans les paramètres.</translation>
    </message>
    <message>
        <source>The requested operation is invalid for this protocol</source>
        <translation>L&apos;opération demandée n&apos;est pas valide pour ce protocole</translation>
    </message>
    <message>
        <source>An unknown network-related error was detected</source>
        <translation>Une erreur réseau inconnue a été détectée</translation>
    </message>
    <message>
        <source>An unknown proxy-related error was detected</source>
        <translation>Une erreur de proxy inconnue a été détectée</translation>
    </message>
    <message>
        <source>An unknown error related to the remote content was detected</source>
        <translation>Une erreur inconnue liée au contenu distant a été détectée</translation>
    </message>
    <message>
        <source>A breakdown in protocol was detected (parsing error, invalid or unexpected responses, etc.)</source>
        <translation>Une erreur de protocole a été détectée (erreur d&apos;analyse, réponses non valides ou inattendues, etc.)</translation>
    </message>
    <message>
        <source>Invalid URL: %1</source>
        <translation>Adresse non valide : %1</translation>
    </message>
    <message>
        <source>Http</source>
        <translation>HTTP</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Téléchargement</translation>
    </message>
    <message>
        <source>There already exists a file called %1 in the current directory. Overwrite?</source>
        <translation>Un fichier nommé %1 existe déjà dans le dossier actuel. Le remplacer ?</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Erreur</translation>
    </message>
    <message>
        <source>Unable to save file.</source>
        <translation>Impossible d&apos;enregistrer le fichier.</translation>
    </message>
    <message>
        <source>Unable to write to file %1: %2</source>
        <translation>Impossible d&apos;écrire dans le fichier %1 : %2</translation>
    </message>
    <message>
        <source>The reply is larger than %1 bytes.</source>
        <translation>La réponse dépasse %1 octets.</translation>
    </message>
    <message>
        <source>Too many redirects (more than %1).</source>
        <translation>Trop de redirections (plus de %1).</translation>
    </message>
    <message>
        <source>The server answered %1 instead of the file.</source>
        <translation>Le serveur a répondu %1 au lieu d&apos;envoyer le fichier.</translation>
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
        <translation>Erreur de mémoire</translation>
    </message>
    <message>
        <source>Can&apos;t open the file</source>
        <translation>Impossible d&apos;ouvrir le fichier</translation>
    </message>
    <message>
        <source>Can&apos;t find a free/valid driver</source>
        <translation>Aucun pilote libre ou valide trouvé</translation>
    </message>
    <message>
        <source>The sample buffer was lost</source>
        <translation>Le tampon d&apos;échantillons a été perdu</translation>
    </message>
    <message>
        <source>Invalid handle</source>
        <translation>Identifiant non valide</translation>
    </message>
    <message>
        <source>Unsupported sample format</source>
        <translation>Format d&apos;échantillon non pris en charge</translation>
    </message>
    <message>
        <source>Invalid playback position</source>
        <translation>Position de lecture non valide</translation>
    </message>
    <message>
        <source>BASS_Init was not successfully called</source>
        <translation>La sortie audio n&apos;a pas été initialisée (BASS_Init)</translation>
    </message>
    <message>
        <source>BASS_Start was not successfully called</source>
        <translation>La sortie audio n&apos;a pas été démarrée (BASS_Start)</translation>
    </message>
    <message>
        <source>Already initialized/paused/etc</source>
        <translation>Déjà initialisé, en pause, etc.</translation>
    </message>
    <message>
        <source>Can&apos;t get a free channel</source>
        <translation>Aucun canal libre</translation>
    </message>
    <message>
        <source>An illegal type was specified</source>
        <translation>Un type non autorisé a été indiqué</translation>
    </message>
    <message>
        <source>An illegal parameter was specified</source>
        <translation>Un paramètre non autorisé a été indiqué</translation>
    </message>
    <message>
        <source>No 3D support</source>
        <translation>Pas de prise en charge de la 3D</translation>
    </message>
    <message>
        <source>No EAX support</source>
        <translation>Pas de prise en charge d&apos;EAX</translation>
    </message>
    <message>
        <source>Illegal device number</source>
        <translation>Numéro de périphérique non valide</translation>
    </message>
    <message>
        <source>Not playing</source>
        <translation>Pas de lecture</translation>
    </message>
    <message>
        <source>Illegal sample rate</source>
        <translation>Fréquence d&apos;échantillonnage non valide</translation>
    </message>
    <message>
        <source>The stream is not a file stream</source>
        <translation>Le flux n&apos;est pas un flux de fichier</translation>
    </message>
    <message>
        <source>No hardware voices available</source>
        <translation>Aucune voix matérielle disponible</translation>
    </message>
    <message>
        <source>The MOD music has no sequence data</source>
        <translation>La musique MOD n&apos;a pas de données de séquence</translation>
    </message>
    <message>
        <source>No internet connection could be opened</source>
        <translation>Aucune connexion Internet n&apos;a pu être ouverte</translation>
    </message>
    <message>
        <source>Couldn&apos;t create the file</source>
        <translation>Impossible de créer le fichier</translation>
    </message>
    <message>
        <source>Effects are not available</source>
        <translation>Les effets ne sont pas disponibles</translation>
    </message>
    <message>
        <source>Requested data is not available</source>
        <translation>Les données demandées ne sont pas disponibles</translation>
    </message>
    <message>
        <source>The channel is a decoding channel</source>
        <translation>Le canal est un canal de décodage</translation>
    </message>
    <message>
        <source>Sufficient DirectX version is not installed</source>
        <translation>La version requise de l&apos;interface audio n&apos;est pas installée</translation>
    </message>
    <message>
        <source>Connection timed out</source>
        <translation>La connexion a expiré</translation>
    </message>
    <message>
        <source>Unsupported file format</source>
        <translation>Format de fichier non pris en charge</translation>
    </message>
    <message>
        <source>Unavailable speaker</source>
        <translation>Haut-parleur indisponible</translation>
    </message>
    <message>
        <source>Invalid BASS version (used by add-ons)</source>
        <translation>Version de la bibliothèque audio non valide (utilisée par les extensions)</translation>
    </message>
    <message>
        <source>Codec is not available/supported</source>
        <translation>Codec indisponible ou non pris en charge</translation>
    </message>
    <message>
        <source>The Windows Media modules (v9 or above) are not installed.</source>
        <translation>Les modules Windows Media (version 9 ou supérieure) ne sont pas installés.</translation>
    </message>
    <message>
        <source>No CD fouind in the drive</source>
        <translation>Aucun CD dans le lecteur</translation>
    </message>
    <message>
        <source>Unknown Library Error</source>
        <translation>Erreur inconnue de la bibliothèque audio</translation>
    </message>
    <message>
        <source>Internal Error</source>
        <translation>Erreur interne</translation>
    </message>
    <message>
        <source>Recording failed: Missing encoder </source>
        <translation>Échec de l&apos;enregistrement : encodeur manquant </translation>
    </message>
    <message>
        <source>Recording failed: Unable to create output file</source>
        <translation>Échec de l&apos;enregistrement : impossible de créer le fichier de sortie</translation>
    </message>
    <message>
        <source>Recording failed: Unable to write to disk</source>
        <translation>Échec de l&apos;enregistrement : impossible d&apos;écrire sur le disque</translation>
    </message>
    <message>
        <source>Recording failed: Encoder has stopped working.</source>
        <translation>Échec de l&apos;enregistrement : l&apos;encodeur a cessé de fonctionner.</translation>
    </message>
    <message>
        <source>Unknown Error</source>
        <translation>Erreur inconnue</translation>
    </message>
    <message>
        <source>Unknown Station</source>
        <translation>Station inconnue</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Erreur</translation>
    </message>
    <message>
        <source>Failed to connect at this time</source>
        <translation>Connexion impossible pour le moment</translation>
    </message>
    <message>
        <source>Reason</source>
        <translation>Raison</translation>
    </message>
    <message>
        <source>Station</source>
        <translation>Station</translation>
    </message>
    <message>
        <source>URL</source>
        <translation>Adresse</translation>
    </message>
    <message>
        <source>Tags</source>
        <translation>Balises</translation>
    </message>
    <message>
        <source>Would you like to report it?</source>
        <translation>Voulez-vous le signaler ?</translation>
    </message>
    <message>
        <source>The connection to the sound server was lost.</source>
        <translation>La connexion au serveur de son a été perdue.</translation>
    </message>
    <message>
        <source>Nothing is playing</source>
        <translation>Aucune lecture en cours</translation>
    </message>
    <message>
        <source>The audio engine could not be loaded: %1</source>
        <translation>Le moteur audio n&apos;a pas pu être chargé : %1</translation>
    </message>
</context>
<context>
    <name>CLangManager</name>
    <message>
        <source>The language name &quot;%1&quot; cannot be used as a file name.</source>
        <translation>Le nom de langue « %1 » ne peut pas servir de nom de fichier.</translation>
    </message>
    <message>
        <source>Failed to open language file.</source>
        <translation>Impossible d&apos;ouvrir le fichier de langue.</translation>
    </message>
    <message>
        <source>Reason</source>
        <translation>Raison</translation>
    </message>
    <message>
        <source>the file is too large</source>
        <translation>le fichier est trop volumineux</translation>
    </message>
    <message>
        <source>The language file could not be downloaded.</source>
        <translation>Le fichier de langue n&apos;a pas pu être téléchargé.</translation>
    </message>
</context>
<context>
    <name>DesktopLinks</name>
    <message>
        <source>Starting browser</source>
        <translation>Ouverture du navigateur</translation>
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
        <translation>Bureau</translation>
    </message>
    <message>
        <source>Show a notification for each new song</source>
        <translation>Afficher une notification à chaque nouveau morceau</translation>
    </message>
    <message>
        <source>Show an icon in the system tray</source>
        <translation>Afficher une icône dans la zone de notification</translation>
    </message>
    <message>
        <source>Closing the window keeps the player in the tray</source>
        <translation>Fermer la fenêtre garde le lecteur dans la zone de notification</translation>
    </message>
    <message>
        <source>No proxy</source>
        <translation>Aucun proxy</translation>
    </message>
    <message>
        <source>The system&apos;s proxy</source>
        <translation>Proxy du système</translation>
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
        <translation>Hôte</translation>
    </message>
    <message>
        <source>Proxy host</source>
        <translation>Hôte du proxy</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>Proxy port</source>
        <translation>Port du proxy</translation>
    </message>
    <message>
        <source>Proxy:</source>
        <translation>Proxy :</translation>
    </message>
    <message>
        <source>Streams connect directly: the player sends them only through HTTP proxies.</source>
        <translation>Les flux se connectent directement : le lecteur ne les fait passer que par des proxys HTTP.</translation>
    </message>
</context>
<context>
    <name>ExportFiles</name>
    <message>
        <source>The playlist is nested too deeply</source>
        <translation>La liste de lecture est imbriquée trop profondément</translation>
    </message>
    <message>
        <source>The playlist is not well-formed XML: %1</source>
        <translation>La liste de lecture n&apos;est pas un XML bien formé : %1</translation>
    </message>
    <message>
        <source>Favourite stations</source>
        <translation>Stations favorites</translation>
    </message>
    <message>
        <source>The file is too large</source>
        <translation>Le fichier est trop volumineux</translation>
    </message>
    <message>
        <source>A quoted field is not closed</source>
        <translation>Un champ entre guillemets n&apos;est pas fermé</translation>
    </message>
    <message>
        <source>Not a wish list: the first line must name the columns</source>
        <translation>Ce n&apos;est pas une liste de souhaits : la première ligne doit nommer les colonnes</translation>
    </message>
</context>
<context>
    <name>HeaderViewEx</name>
    <message>
        <source>Columns</source>
        <translation>Colonnes</translation>
    </message>
    <message>
        <source>Choose the columns to show</source>
        <translation>Choisir les colonnes à afficher</translation>
    </message>
</context>
<context>
    <name>HelpView</name>
    <message>
        <source>God helps those that help themselves.</source>
        <translation>Aide-toi, le ciel t&apos;aidera.</translation>
    </message>
    <message>
        <source>Play or stop (outside text fields)</source>
        <translation>Lire ou arrêter (hors des champs de texte)</translation>
    </message>
    <message>
        <source>Go to the search box</source>
        <translation>Aller au champ de recherche</translation>
    </message>
    <message>
        <source>Mute or unmute</source>
        <translation>Couper ou rétablir le son</translation>
    </message>
    <message>
        <source>Louder</source>
        <translation>Plus fort</translation>
    </message>
    <message>
        <source>Softer</source>
        <translation>Moins fort</translation>
    </message>
    <message>
        <source>Add the selected station to the favorites</source>
        <translation>Ajouter la station choisie aux favoris</translation>
    </message>
    <message>
        <source>Open a stream or playlist address</source>
        <translation>Ouvrir l&apos;adresse d&apos;un flux ou d&apos;une liste de lecture</translation>
    </message>
    <message>
        <source>This help</source>
        <translation>Cette aide</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Quitter</translation>
    </message>
    <message>
        <source>Keyboard</source>
        <translation>Clavier</translation>
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
        <translation>Annuler</translation>
    </message>
</context>
<context>
    <name>LanguageDlgClass</name>
    <message>
        <source>Language</source>
        <translation>Langue</translation>
    </message>
    <message>
        <source>Language:</source>
        <translation>Langue :</translation>
    </message>
    <message>
        <source>Please select your preferred language.</source>
        <translation>Veuillez choisir votre langue préférée.</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>Next &gt;&gt;</source>
        <translation>Suivant &gt;&gt;</translation>
    </message>
</context>
<context>
    <name>LaunchArguments</name>
    <message>
        <source>No such file</source>
        <translation>Fichier introuvable</translation>
    </message>
    <message>
        <source>Not a playlist file</source>
        <translation>Ce n&apos;est pas un fichier de liste de lecture</translation>
    </message>
    <message>
        <source>The file is too large for a playlist</source>
        <translation>Le fichier est trop volumineux pour une liste de lecture</translation>
    </message>
    <message>
        <source>The file lists no stream address</source>
        <translation>Le fichier ne contient aucune adresse de flux</translation>
    </message>
    <message>
        <source>Empty argument</source>
        <translation>Argument vide</translation>
    </message>
    <message>
        <source>Not a stream address (http, https, mms or rtsp)</source>
        <translation>Ce n&apos;est pas une adresse de flux (http, https, mms ou rtsp)</translation>
    </message>
</context>
<context>
    <name>LoginDlg</name>
    <message>
        <source>Sign in</source>
        <translation>Se connecter</translation>
    </message>
    <message>
        <source>Forgot your password?</source>
        <translation>Mot de passe oublié ?</translation>
    </message>
    <message>
        <source>Not a member? Sign up, it&apos;s free!</source>
        <translation>Pas encore membre ? Inscrivez-vous, c&apos;est gratuit !</translation>
    </message>
    <message>
        <source>Member name</source>
        <translation>Nom de membre</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Mot de passe</translation>
    </message>
    <message>
        <source>&lt;p&gt;Registration is free. You get to access personal services, like keeping your favorites. They will be available from anywhere.&lt;/p&gt;&lt;p&gt;Email validation is required, after registering you will receive further instructions on how to access your account.&lt;/p&gt;</source>
        <translation>&lt;p&gt;L&apos;inscription est gratuite. Vous accédez à des services personnels, comme la conservation de vos favoris, disponibles où que vous soyez.&lt;/p&gt;&lt;p&gt;Une validation par e-mail est nécessaire : après l&apos;inscription, vous recevrez les instructions pour accéder à votre compte.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>Resending password</source>
        <translation>Renvoi du mot de passe</translation>
    </message>
    <message>
        <source>Password sent</source>
        <translation>Mot de passe envoyé</translation>
    </message>
    <message>
        <source>Member name is missing!</source>
        <translation>Le nom de membre est manquant !</translation>
    </message>
    <message>
        <source>Password is missing!</source>
        <translation>Le mot de passe est manquant !</translation>
    </message>
    <message>
        <source>Verifying</source>
        <translation>Vérification</translation>
    </message>
    <message>
        <source>Member name or e-mail address</source>
        <translation>Nom de membre ou adresse e-mail</translation>
    </message>
    <message>
        <source>Request password</source>
        <translation>Demander le mot de passe</translation>
    </message>
    <message>
        <source>Send</source>
        <translation>Envoyer</translation>
    </message>
</context>
<context>
    <name>ProxySetting</name>
    <message>
        <source>Enter the proxy&apos;s host name or address</source>
        <translation>Saisissez le nom d&apos;hôte ou l&apos;adresse du proxy</translation>
    </message>
    <message>
        <source>The proxy host is not a host name or address</source>
        <translation>L&apos;hôte du proxy n&apos;est ni un nom d&apos;hôte ni une adresse</translation>
    </message>
    <message>
        <source>The proxy port must be between 1 and 65535</source>
        <translation>Le port du proxy doit être compris entre 1 et 65535</translation>
    </message>
</context>
<context>
    <name>RecordControl</name>
    <message>
        <source>Split by song</source>
        <translation>Séparer par morceau</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>Enregistrer</translation>
    </message>
    <message>
        <source>Records the playing station into the recordings folder</source>
        <translation>Enregistre la station en cours dans le dossier des enregistrements</translation>
    </message>
    <message>
        <source>Recorded time</source>
        <translation>Durée enregistrée</translation>
    </message>
    <message>
        <source>Recording: %1</source>
        <translation>Enregistrement : %1</translation>
    </message>
    <message>
        <source>Recording saved: %1</source>
        <translation>Enregistrement sauvegardé : %1</translation>
    </message>
    <message>
        <source>Stop recording</source>
        <translation>Arrêter l&apos;enregistrement</translation>
    </message>
    <message>
        <source>Record the playing station</source>
        <translation>Enregistrer la station en cours</translation>
    </message>
</context>
<context>
    <name>RecordingSettings</name>
    <message>
        <source>Recording</source>
        <translation>Enregistrement</translation>
    </message>
    <message>
        <source>Recordings folder:</source>
        <translation>Dossier des enregistrements :</translation>
    </message>
    <message>
        <source>Choose...</source>
        <translation>Choisir...</translation>
    </message>
    <message>
        <source>Choose the recordings folder</source>
        <translation>Choisir le dossier des enregistrements</translation>
    </message>
    <message>
        <source>Recording format:</source>
        <translation>Format d&apos;enregistrement :</translation>
    </message>
    <message>
        <source>Split by song</source>
        <translation>Séparer par morceau</translation>
    </message>
    <message>
        <source>Begin a new file, named after the song, whenever the title changes</source>
        <translation>Commencer un nouveau fichier, nommé d&apos;après le morceau, à chaque changement de titre</translation>
    </message>
    <message>
        <source>Not available: the encoder is missing</source>
        <translation>Indisponible : l&apos;encodeur est absent</translation>
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
        <translation>Format du flux</translation>
    </message>
    <message>
        <source>Recordings folder</source>
        <translation>Dossier des enregistrements</translation>
    </message>
</context>
<context>
    <name>ResendEmail</name>
    <message>
        <source>Resend activation email</source>
        <translation>Renvoyer l&apos;e-mail d&apos;activation</translation>
    </message>
    <message>
        <source>Sign in with a different account</source>
        <translation>Se connecter avec un autre compte</translation>
    </message>
    <message>
        <source>Account %1 is not activated yet, please follow instructions in your email</source>
        <translation>Le compte %1 n&apos;est pas encore activé, veuillez suivre les instructions de votre e-mail</translation>
    </message>
    <message>
        <source>Your account has been created and we have sent you an e-mail, follow instructions there to activate your account.</source>
        <translation>Votre compte a été créé et nous vous avons envoyé un e-mail : suivez ses instructions pour activer votre compte.</translation>
    </message>
    <message>
        <source>Authenticating</source>
        <translation>Authentification</translation>
    </message>
    <message>
        <source>Email sent</source>
        <translation>E-mail envoyé</translation>
    </message>
</context>
<context>
    <name>Settings</name>
    <message>
        <source>Do nothing</source>
        <translation>Ne rien faire</translation>
    </message>
    <message>
        <source>Start the last played station</source>
        <translation>Lancer la dernière station écoutée</translation>
    </message>
    <message>
        <source>Language:</source>
        <translation>Langue :</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Actualiser</translation>
    </message>
    <message>
        <source>Refresh the available languages</source>
        <translation>Actualiser la liste des langues</translation>
    </message>
    <message>
        <source>Minimum Bitrate:</source>
        <translation>Débit minimal :</translation>
    </message>
    <message>
        <source>Maximum Bitrate:</source>
        <translation>Débit maximal :</translation>
    </message>
    <message>
        <source>On Startup:</source>
        <translation>Au démarrage :</translation>
    </message>
    <message>
        <source>Home Location:</source>
        <translation>Lieu de résidence :</translation>
    </message>
    <message>
        <source>Set</source>
        <translation>Définir</translation>
    </message>
    <message>
        <source>Username:</source>
        <translation>Nom d&apos;utilisateur :</translation>
    </message>
    <message>
        <source>Email Address:</source>
        <translation>Adresse e-mail :</translation>
    </message>
    <message>
        <source>To change your username, email or password - please log in to your account on TunoraWeb.</source>
        <translation>Pour changer votre nom d&apos;utilisateur, votre e-mail ou votre mot de passe, connectez-vous à votre compte sur TunoraWeb.</translation>
    </message>
    <message>
        <source>Sign Out</source>
        <translation>Se déconnecter</translation>
    </message>
    <message>
        <source>Save Settings</source>
        <translation>Enregistrer les paramètres</translation>
    </message>
    <message>
        <source>Unlimited</source>
        <translation>Illimité</translation>
    </message>
    <message>
        <source>Tunora Player</source>
        <translation>Tunora Player</translation>
    </message>
    <message>
        <source>Your new settings will be applied when Tunora restarts, restart now?</source>
        <translation>Vos nouveaux paramètres seront appliqués au redémarrage de Tunora. Redémarrer maintenant ?</translation>
    </message>
</context>
<context>
    <name>Signup</name>
    <message>
        <source>Sign up</source>
        <translation>S&apos;inscrire</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Retour</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Aide</translation>
    </message>
    <message>
        <source>Member name</source>
        <translation>Nom de membre</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Mot de passe</translation>
    </message>
    <message>
        <source>Retype Password</source>
        <translation>Confirmer le mot de passe</translation>
    </message>
    <message>
        <source>Email</source>
        <translation>E-mail</translation>
    </message>
    <message>
        <source>Retype Email</source>
        <translation>Confirmer l&apos;e-mail</translation>
    </message>
    <message>
        <source>&lt;p&gt;Choose a member name of 3 to 32 letters or digits and a password of at least 6 characters.&lt;/p&gt;&lt;p&gt;We send an e-mail to the address you give; follow the link in it to activate your account.&lt;/p&gt;</source>
        <translation>&lt;p&gt;Choisissez un nom de membre de 3 à 32 lettres ou chiffres et un mot de passe d&apos;au moins 6 caractères.&lt;/p&gt;&lt;p&gt;Nous envoyons un e-mail à l&apos;adresse indiquée ; suivez le lien qu&apos;il contient pour activer votre compte.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Fermer</translation>
    </message>
    <message>
        <source>All boxes must be filled in</source>
        <translation>Tous les champs doivent être remplis</translation>
    </message>
    <message>
        <source>Emails are not the same</source>
        <translation>Les adresses e-mail ne sont pas identiques</translation>
    </message>
    <message>
        <source>Passwords are not the same</source>
        <translation>Les mots de passe ne sont pas identiques</translation>
    </message>
    <message>
        <source>Verifying</source>
        <translation>Vérification</translation>
    </message>
</context>
<context>
    <name>Stream</name>
    <message>
        <source>The playlists of this station lead too deep.</source>
        <translation>Les listes de lecture de cette station renvoient les unes aux autres trop de fois.</translation>
    </message>
    <message>
        <source>The station has no address.</source>
        <translation>La station n&apos;a pas d&apos;adresse.</translation>
    </message>
    <message>
        <source>The station&apos;s address is not valid.</source>
        <translation>L&apos;adresse de la station n&apos;est pas valide.</translation>
    </message>
    <message>
        <source>No playlist is being downloaded.</source>
        <translation>Aucune liste de lecture n&apos;est en cours de téléchargement.</translation>
    </message>
    <message>
        <source>The playlist holds no stream address.</source>
        <translation>La liste de lecture ne contient aucune adresse de flux.</translation>
    </message>
</context>
<context>
    <name>TrackHistoryFrame</name>
    <message>
        <source>Recently Played</source>
        <translation>Écoutés récemment</translation>
    </message>
</context>
<context>
    <name>TrackLists</name>
    <message>
        <source>The wish list %1 could not be read completely (%2).</source>
        <translation>La liste de souhaits %1 n&apos;a pas pu être lue entièrement (%2).</translation>
    </message>
    <message>
        <source>A copy of it was kept as %1.</source>
        <translation>Une copie en a été conservée sous %1.</translation>
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
        <translation>Ajouter à la liste de souhaits</translation>
    </message>
    <message>
        <source>Remove from wish list</source>
        <translation>Retirer de la liste de souhaits</translation>
    </message>
    <message>
        <source>Buy song/album</source>
        <translation>Acheter le titre ou l&apos;album</translation>
    </message>
    <message>
        <source>Play song</source>
        <translation>Écouter le titre</translation>
    </message>
</context>
<context>
    <name>TrackWishListFrame</name>
    <message>
        <source>Wish List</source>
        <translation>Liste de souhaits</translation>
    </message>
</context>
<context>
    <name>TreeRadioWidget</name>
    <message>
        <source>&amp;Refresh</source>
        <translation>&amp;Actualiser</translation>
    </message>
    <message>
        <source>&amp;Single click collapses navigation menu</source>
        <translation>Un &amp;seul clic replie le menu de navigation</translation>
    </message>
    <message>
        <source>Refresh the current contents</source>
        <translation>Actualiser le contenu affiché</translation>
    </message>
    <message>
        <source>Navigation menu</source>
        <translation>Menu de navigation</translation>
    </message>
    <message>
        <source>FAVORITES</source>
        <translation>FAVORIS</translation>
    </message>
    <message>
        <source>WISH LIST</source>
        <translation>LISTE DE SOUHAITS</translation>
    </message>
    <message>
        <source>REGIONS</source>
        <translation>RÉGIONS</translation>
    </message>
    <message>
        <source>GENRES</source>
        <translation>GENRES</translation>
    </message>
    <message>
        <source>HISTORY</source>
        <translation>HISTORIQUE</translation>
    </message>
    <message>
        <source>SEARCH RESULTS</source>
        <translation>RÉSULTATS DE RECHERCHE</translation>
    </message>
    <message>
        <source>SETTINGS</source>
        <translation>PARAMÈTRES</translation>
    </message>
    <message>
        <source>Getting Countries</source>
        <translation>Chargement des pays</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>Getting Genres</source>
        <translation>Chargement des genres</translation>
    </message>
</context>
<context>
    <name>TreeStationWidget</name>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Copier</translation>
    </message>
    <message>
        <source>&amp;Add To Favorites</source>
        <translation>&amp;Ajouter aux favoris</translation>
    </message>
    <message>
        <source>&amp;Remove From Favorites</source>
        <translation>&amp;Retirer des favoris</translation>
    </message>
    <message>
        <source>&amp;Play</source>
        <translation>&amp;Lire</translation>
    </message>
    <message>
        <source>&amp;Stop</source>
        <translation>Arrê&amp;ter</translation>
    </message>
    <message>
        <source>#</source>
        <translation>#</translation>
    </message>
    <message>
        <source>Stations</source>
        <translation>Stations</translation>
    </message>
    <message>
        <source>Playing Now</source>
        <translation>En ce moment</translation>
    </message>
    <message>
        <source>Genres</source>
        <translation>Genres</translation>
    </message>
    <message>
        <source>Location</source>
        <translation>Lieu</translation>
    </message>
    <message>
        <source>Network</source>
        <translation>Réseau</translation>
    </message>
    <message>
        <source>Website</source>
        <translation>Site web</translation>
    </message>
    <message>
        <source>Copy the current contents to the clipboard</source>
        <translation>Copier le contenu affiché dans le presse-papiers</translation>
    </message>
    <message>
        <source>Add the selected station to your favorites</source>
        <translation>Ajouter la station sélectionnée à vos favoris</translation>
    </message>
    <message>
        <source>Remove the selected station from your favorites</source>
        <translation>Retirer la station sélectionnée de vos favoris</translation>
    </message>
    <message>
        <source>Play the selected station</source>
        <translation>Lire la station sélectionnée</translation>
    </message>
    <message>
        <source>Stop playing the selected station</source>
        <translation>Arrêter la lecture de la station sélectionnée</translation>
    </message>
    <message>
        <source>Getting Favorites</source>
        <translation>Chargement des favoris</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>Getting History</source>
        <translation>Chargement de l&apos;historique</translation>
    </message>
    <message>
        <source>Getting Stations</source>
        <translation>Chargement des stations</translation>
    </message>
    <message>
        <source>more</source>
        <translation>de plus</translation>
    </message>
    <message>
        <source>total</source>
        <translation>au total</translation>
    </message>
    <message>
        <source>More stations</source>
        <translation>Plus de stations</translation>
    </message>
    <message>
        <source>Starting browser</source>
        <translation>Ouverture du navigateur</translation>
    </message>
</context>
<context>
    <name>TreeWidgetBase</name>
    <message>
        <source>&amp;Reset column layout</source>
        <translation>&amp;Réinitialiser la disposition des colonnes</translation>
    </message>
    <message>
        <source>Reset all columns to their default size and layout</source>
        <translation>Rétablir la taille et la disposition par défaut de toutes les colonnes</translation>
    </message>
</context>
<context>
    <name>TunoraAPI</name>
    <message>
        <source>Getting History</source>
        <translation>Chargement de l&apos;historique</translation>
    </message>
    <message>
        <source>Getting </source>
        <translation>Chargement : </translation>
    </message>
    <message>
        <source>languages</source>
        <translation>langues</translation>
    </message>
    <message>
        <source> version information</source>
        <translation> informations de version</translation>
    </message>
    <message>
        <source>account information</source>
        <translation>informations du compte</translation>
    </message>
    <message>
        <source>Checking</source>
        <translation>Vérification</translation>
    </message>
    <message>
        <source>Setting home location</source>
        <translation>Enregistrement du lieu de résidence</translation>
    </message>
    <message>
        <source>Creating account</source>
        <translation>Création du compte</translation>
    </message>
    <message>
        <source>Resending password</source>
        <translation>Renvoi du mot de passe</translation>
    </message>
    <message>
        <source>Getting Translation</source>
        <translation>Chargement de la traduction</translation>
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
        <translation>Rechercher des stations ou ce qui passe</translation>
    </message>
    <message>
        <source>%1%</source>
        <translation>%1 %</translation>
    </message>
    <message>
        <source>No stream address found</source>
        <translation>Aucune adresse de flux trouvée</translation>
    </message>
    <message>
        <source>Connecting</source>
        <translation>Connexion</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>Downloading</source>
        <translation>Téléchargement</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Arrêter</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Lire</translation>
    </message>
    <message>
        <source>Buffering</source>
        <translation>Mise en mémoire tampon</translation>
    </message>
    <message>
        <source>Last played</source>
        <translation>Titre précédent</translation>
    </message>
    <message>
        <source>Station Timed Out!</source>
        <translation>La station ne répond pas !</translation>
    </message>
    <message>
        <source>Playing</source>
        <translation>Lecture en cours</translation>
    </message>
    <message>
        <source>Track History</source>
        <translation>Historique des titres</translation>
    </message>
    <message>
        <source>Open URL</source>
        <translation>Ouvrir une adresse</translation>
    </message>
    <message>
        <source>Stream or playlist address:</source>
        <translation>Adresse du flux ou de la liste de lecture :</translation>
    </message>
    <message>
        <source>Not a web address: %1</source>
        <translation>Ce n&apos;est pas une adresse web : %1</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Rechercher</translation>
    </message>
    <message>
        <source>for</source>
        <translation>:</translation>
    </message>
    <message>
        <source>Previous page</source>
        <translation>Page précédente</translation>
    </message>
    <message>
        <source>Next page</source>
        <translation>Page suivante</translation>
    </message>
    <message>
        <source>News</source>
        <translation>Actualités</translation>
    </message>
    <message>
        <source>Buy song/album</source>
        <translation>Acheter le titre ou l&apos;album</translation>
    </message>
    <message>
        <source>A restart is required for this option.</source>
        <translation>Cette option nécessite un redémarrage.</translation>
    </message>
    <message>
        <source>Welcome</source>
        <translation>Bienvenue</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Aide</translation>
    </message>
    <message>
        <source>Starting browser</source>
        <translation>Ouverture du navigateur</translation>
    </message>
    <message>
        <source>Check for &amp;new version...</source>
        <translation>Rechercher une &amp;nouvelle version...</translation>
    </message>
    <message>
        <source>Ask the directory whether a newer version exists</source>
        <translation>Demander à l&apos;annuaire si une version plus récente existe</translation>
    </message>
    <message>
        <source>No Languages Found</source>
        <translation>Aucune langue trouvée</translation>
    </message>
    <message>
        <source>Select Language</source>
        <translation>Choisir la langue</translation>
    </message>
    <message>
        <source>Please select your language</source>
        <translation>Veuillez choisir votre langue.</translation>
    </message>
    <message>
        <source>The language %1 could not be loaded.</source>
        <translation>Impossible de charger la langue %1.</translation>
    </message>
    <message>
        <source>Tunora &amp;Web Site</source>
        <translation>Site &amp;web de Tunora</translation>
    </message>
    <message>
        <source>Browse the Tunora web site, sign in there and play its stations here</source>
        <translation>Parcourir le site web de Tunora, s&apos;y connecter et écouter ses stations ici</translation>
    </message>
    <message>
        <source>Web Site</source>
        <translation>Site web</translation>
    </message>
    <message>
        <source>The sound output was lost; playback goes on when it is back.</source>
        <translation>La sortie audio a été perdue ; la lecture reprendra dès son retour.</translation>
    </message>
    <message>
        <source>The sound output is back.</source>
        <translation>La sortie audio est de retour.</translation>
    </message>
    <message>
        <source>Web pages</source>
        <translation>Pages web</translation>
    </message>
    <message>
        <source>The web pages cannot be shown: %1</source>
        <translation>Les pages web ne peuvent pas être affichées : %1</translation>
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
        <translation>Pochette de l&apos;album</translation>
    </message>
    <message>
        <source>Play or stop</source>
        <translation>Lire ou arrêter</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Lire</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>Volume</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Rechercher</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Fichier</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Aide</translation>
    </message>
    <message>
        <source>Open URL...</source>
        <translation>Ouvrir une adresse...</translation>
    </message>
    <message>
        <source>Ctrl+L</source>
        <translation>Ctrl+L</translation>
    </message>
    <message>
        <source>&amp;Sign in...</source>
        <translation>&amp;Se connecter...</translation>
    </message>
    <message>
        <source>Sign &amp;out</source>
        <translation>Se &amp;déconnecter</translation>
    </message>
    <message>
        <source>&amp;Languages...</source>
        <translation>&amp;Langues...</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Quitter</translation>
    </message>
    <message>
        <source>Ctrl+Q</source>
        <translation>Ctrl+Q</translation>
    </message>
    <message>
        <source>&amp;About...</source>
        <translation>À &amp;propos...</translation>
    </message>
    <message>
        <source>Clear Column Settings</source>
        <translation>Réinitialiser les colonnes</translation>
    </message>
    <message>
        <source>Change &amp;font...</source>
        <translation>Changer la &amp;police...</translation>
    </message>
    <message>
        <source>Change the application font</source>
        <translation>Changer la police de l&apos;application</translation>
    </message>
    <message>
        <source>&amp;Single click collapses navigation menu</source>
        <translation>Un &amp;seul clic replie le menu de navigation</translation>
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
        <translation>&lt;b&gt;Aucune nouvelle version n&apos;a été trouvée.&lt;/b&gt;&lt;br&gt;&lt;br&gt;Version actuelle : &lt;b&gt;%1&lt;/b&gt;&lt;br&gt;Dernière version : &lt;b&gt;%2&lt;/b&gt;</translation>
    </message>
    <message>
        <source>&lt;b&gt;New version found.&lt;/b&gt;&lt;br&gt;&lt;br&gt;Current Version: &lt;b&gt;%1&lt;/b&gt;&lt;br&gt;Latest Version: &lt;b&gt;%2&lt;/b&gt;&lt;br&gt;&lt;br&gt;&lt;b&gt;Changes:&lt;/b&gt;&lt;br&gt;%3&lt;br&gt;&lt;br&gt;&lt;b&gt;Would you like to install it?&lt;/b&gt;</source>
        <translation>&lt;b&gt;Une nouvelle version est disponible.&lt;/b&gt;&lt;br&gt;&lt;br&gt;Version actuelle : &lt;b&gt;%1&lt;/b&gt;&lt;br&gt;Dernière version : &lt;b&gt;%2&lt;/b&gt;&lt;br&gt;&lt;br&gt;&lt;b&gt;Nouveautés :&lt;/b&gt;&lt;br&gt;%3&lt;br&gt;&lt;br&gt;&lt;b&gt;Voulez-vous l&apos;installer ?&lt;/b&gt;</translation>
    </message>
    <message>
        <source>The update could not be downloaded.</source>
        <translation>La mise à jour n&apos;a pas pu être téléchargée.</translation>
    </message>
    <message>
        <source>The update was saved as %1.</source>
        <translation>La mise à jour a été enregistrée sous %1.</translation>
    </message>
    <message>
        <source>The download address is not a secure (https) address.</source>
        <translation>L&apos;adresse de téléchargement n&apos;est pas une adresse sécurisée (https).</translation>
    </message>
    <message>
        <source>The directory did not announce the size of the download.</source>
        <translation>L&apos;annuaire n&apos;a pas indiqué la taille du téléchargement.</translation>
    </message>
    <message>
        <source>The announced checksum is not a SHA-256 checksum.</source>
        <translation>La somme de contrôle annoncée n&apos;est pas une somme SHA-256.</translation>
    </message>
    <message>
        <source>The folder %1 cannot be created.</source>
        <translation>Impossible de créer le dossier %1.</translation>
    </message>
    <message>
        <source>Downloading the new version...</source>
        <translation>Téléchargement de la nouvelle version...</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Annuler</translation>
    </message>
    <message>
        <source>The download was redirected to an address that is not secure.</source>
        <translation>Le téléchargement a été redirigé vers une adresse non sécurisée.</translation>
    </message>
    <message>
        <source>The download is larger than announced.</source>
        <translation>Le téléchargement est plus volumineux que prévu.</translation>
    </message>
    <message>
        <source>The server answered with status %1.</source>
        <translation>Le serveur a répondu avec le statut %1.</translation>
    </message>
    <message>
        <source>The download has %1 bytes instead of the announced %2.</source>
        <translation>Le téléchargement fait %1 octets au lieu des %2 annoncés.</translation>
    </message>
    <message>
        <source>The checksum of the download does not match the announced one.</source>
        <translation>La somme de contrôle du téléchargement ne correspond pas à celle annoncée.</translation>
    </message>
    <message>
        <source>The download was cancelled.</source>
        <translation>Le téléchargement a été annulé.</translation>
    </message>
</context>
<context>
    <name>WelcomeView</name>
    <message>
        <source>Welcome to the world of Live Internet Radio!</source>
        <translation>Bienvenue dans le monde de la radio Internet en direct !</translation>
    </message>
    <message>
        <source>Add your favorite stations</source>
        <translation>Ajoutez vos stations favorites</translation>
    </message>
    <message>
        <source>Make a wish list of songs</source>
        <translation>Créez une liste de souhaits de chansons</translation>
    </message>
    <message>
        <source>Find your favorite station</source>
        <translation>Trouvez votre station préférée</translation>
    </message>
    <message>
        <source>Search what&apos;s playing now</source>
        <translation>Cherchez ce qui passe en ce moment</translation>
    </message>
</context>
<context>
    <name>WindowDesktop</name>
    <message>
        <source>Play/Stop</source>
        <translation>Lire/Arrêter</translation>
    </message>
    <message>
        <source>Plays the current station or stops it</source>
        <translation>Lit la station actuelle ou l&apos;arrête</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Recherche</translation>
    </message>
    <message>
        <source>Moves to the search box</source>
        <translation>Va au champ de recherche</translation>
    </message>
    <message>
        <source>Mute</source>
        <translation>Muet</translation>
    </message>
    <message>
        <source>Turns the sound off or on again</source>
        <translation>Coupe le son ou le rétablit</translation>
    </message>
    <message>
        <source>Louder</source>
        <translation>Plus fort</translation>
    </message>
    <message>
        <source>Raises the volume</source>
        <translation>Augmente le volume</translation>
    </message>
    <message>
        <source>Softer</source>
        <translation>Moins fort</translation>
    </message>
    <message>
        <source>Lowers the volume</source>
        <translation>Baisse le volume</translation>
    </message>
    <message>
        <source>Add to Favorites</source>
        <translation>Ajouter aux favoris</translation>
    </message>
    <message>
        <source>Adds the selected station to the favorites</source>
        <translation>Ajoute la station choisie aux favoris</translation>
    </message>
    <message>
        <source>Sleep Timer</source>
        <translation>Minuterie de sommeil</translation>
    </message>
    <message>
        <source>Export Favorites...</source>
        <translation>Exporter les favoris...</translation>
    </message>
    <message>
        <source>Import Favorites...</source>
        <translation>Importer des favoris...</translation>
    </message>
    <message>
        <source>Export Wish List...</source>
        <translation>Exporter la liste de souhaits...</translation>
    </message>
    <message>
        <source>Import Wish List...</source>
        <translation>Importer une liste de souhaits...</translation>
    </message>
    <message>
        <source>At the end of this song</source>
        <translation>À la fin de ce morceau</translation>
    </message>
    <message>
        <source>Playback stops at the end of this song</source>
        <translation>La lecture s&apos;arrête à la fin de ce morceau</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Désactivée</translation>
    </message>
    <message>
        <source>Sleep timer: playback stopped</source>
        <translation>Minuterie de sommeil : lecture arrêtée</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Lire</translation>
    </message>
    <message>
        <source>Plays the current station or stops it (Space)</source>
        <translation>Lit la station actuelle ou l&apos;arrête (Espace)</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>Volume</translation>
    </message>
    <message>
        <source>Volume of the player (Ctrl+Up, Ctrl+Down)</source>
        <translation>Volume du lecteur (Ctrl+Haut, Ctrl+Bas)</translation>
    </message>
    <message>
        <source>Album cover</source>
        <translation>Pochette de l&apos;album</translation>
    </message>
    <message>
        <source>The cover of the song playing; click it to enlarge</source>
        <translation>La pochette du morceau en cours ; cliquer pour l&apos;agrandir</translation>
    </message>
    <message>
        <source>Searches stations or what they play (Ctrl+F)</source>
        <translation>Cherche des stations ou ce qu&apos;elles diffusent (Ctrl+F)</translation>
    </message>
    <message>
        <source>Search options</source>
        <translation>Options de recherche</translation>
    </message>
    <message>
        <source>Sections</source>
        <translation>Rubriques</translation>
    </message>
    <message>
        <source>Favorites, wish list, regions, genres, history and more</source>
        <translation>Favoris, liste de souhaits, régions, genres, historique et plus</translation>
    </message>
    <message>
        <source>Stations</source>
        <translation>Stations</translation>
    </message>
    <message>
        <source>News</source>
        <translation>Actualités</translation>
    </message>
    <message>
        <source>Show Tunora Player</source>
        <translation>Afficher Tunora Player</translation>
    </message>
    <message>
        <source>Not played: %1 (%2)</source>
        <translation>Non lu : %1 (%2)</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Arrêter</translation>
    </message>
    <message>
        <source>Tunora Player</source>
        <translation>Tunora Player</translation>
    </message>
    <message>
        <source>Select a station first</source>
        <translation>Choisissez d&apos;abord une station</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Exporter</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>Importer</translation>
    </message>
    <message>
        <source>Playlists (*.m3u *.xspf)</source>
        <translation>Listes de lecture (*.m3u *.xspf)</translation>
    </message>
    <message>
        <source>Playlists (*.m3u *.m3u8 *.xspf *.pls)</source>
        <translation>Listes de lecture (*.m3u *.m3u8 *.xspf *.pls)</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>Fichiers CSV (*.csv)</translation>
    </message>
    <message>
        <source>Wish list exported to %1</source>
        <translation>Liste de souhaits exportée vers %1</translation>
    </message>
    <message>
        <source>Sign in first: the wish list belongs to your account.</source>
        <translation>Connectez-vous d&apos;abord : la liste de souhaits appartient à votre compte.</translation>
    </message>
    <message>
        <source>The favorites could not be read from the directory.</source>
        <translation>Les favoris n&apos;ont pas pu être lus dans l&apos;annuaire.</translation>
    </message>
    <message>
        <source>Another transfer of favorites is under way.</source>
        <translation>Un autre transfert de favoris est en cours.</translation>
    </message>
    <message>
        <source>Not found in the directory: %1</source>
        <translation>Introuvables dans l&apos;annuaire : %1</translation>
    </message>
    <message>
        <source>%1 minutes</source>
        <translation>%1 minutes</translation>
    </message>
    <message>
        <source>Playback stops in %1 minutes</source>
        <translation>La lecture s&apos;arrête dans %1 minutes</translation>
    </message>
    <message>
        <source>Songs added to the wish list: %1.</source>
        <translation>Morceaux ajoutés à la liste de souhaits : %1.</translation>
    </message>
    <message>
        <source>Lines that could not be read: %1.</source>
        <translation>Lignes illisibles : %1.</translation>
    </message>
    <message>
        <source>Favorites exported to %1: %2</source>
        <translation>Favoris exportés vers %1 : %2</translation>
    </message>
    <message>
        <source>Stations added to the favorites: %1.</source>
        <translation>Stations ajoutées aux favoris : %1.</translation>
    </message>
    <message>
        <source>Entries left out for want of a usable address: %1.</source>
        <translation>Entrées ignorées faute d&apos;adresse utilisable : %1.</translation>
    </message>
    <message>
        <source>&amp;Playback</source>
        <translation>&amp;Lecture</translation>
    </message>
</context>
<context>
    <name>WishListPageBuilder</name>
    <message>
        <source>Remove from your wish list</source>
        <translation>Retirer de votre liste de souhaits</translation>
    </message>
    <message>
        <source>Contents changed, click here to refresh</source>
        <translation>Contenu modifié, cliquez ici pour actualiser</translation>
    </message>
</context>
<context>
    <name>login</name>
    <message>
        <source>Sign in</source>
        <translation>Se connecter</translation>
    </message>
    <message>
        <source>Close help</source>
        <translation>Fermer l&apos;aide</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Aide</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Retour</translation>
    </message>
</context>
</TS>
