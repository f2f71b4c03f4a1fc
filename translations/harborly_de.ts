<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>ActivityLogWindow</name>
    <message>
        <source>Harborly - Activity Log</source>
        <translation>Harborly – Aktivitätsprotokoll</translation>
    </message>
    <message>
        <source>Activity log</source>
        <translation>Aktivitätsprotokoll</translation>
    </message>
    <message>
        <source>Nothing has been written to %1 yet.</source>
        <translation>In %1 wurde noch nichts geschrieben.</translation>
    </message>
    <message>
        <source>(the log&apos;s first %1 KiB are not shown)
</source>
        <translation>(die ersten %1 KiB des Protokolls werden nicht angezeigt)
</translation>
    </message>
</context>
<context>
    <name>Browser</name>
    <message>
        <source>Read-only port forwarding router screen</source>
        <translation>Portweiterleitungsseite des Routers (nur lesen)</translation>
    </message>
    <message>
        <source>Working...</source>
        <translation>Einen Moment …</translation>
    </message>
    <message>
        <source>Harborly - Browser Offline</source>
        <translation>Harborly – Browser offline</translation>
    </message>
</context>
<context>
    <name>Cli</name>
    <message>
        <source>Nothing to check: name the applications, or point some first.</source>
        <translation>Nichts zu prüfen: Nennen Sie die Anwendungen oder leiten Sie zuerst welche weiter.</translation>
    </message>
    <message>
        <source>too many arguments for &quot;%1&quot;</source>
        <translation>zu viele Argumente für „%1“</translation>
    </message>
    <message>
        <source>&quot;point&quot; needs the name of at least one application</source>
        <translation>„point“ braucht den Namen mindestens einer Anwendung</translation>
    </message>
    <message>
        <source>&quot;remove&quot; takes one forward, as PORT/PROTO (8096/tcp)</source>
        <translation>„remove“ erwartet genau eine Weiterleitung als PORT/PROTO (8096/tcp)</translation>
    </message>
    <message>
        <source>&quot;dmz&quot; takes &quot;set&quot; or &quot;clear&quot;</source>
        <translation>„dmz“ erwartet „set“ oder „clear“</translation>
    </message>
    <message>
        <source>&quot;show&quot; takes &quot;forward&quot; or &quot;dmz&quot;</source>
        <translation>„show“ erwartet „forward“ oder „dmz“</translation>
    </message>
    <message>
        <source>no command given</source>
        <translation>kein Befehl angegeben</translation>
    </message>
    <message>
        <source>unknown command &quot;%1&quot;</source>
        <translation>unbekannter Befehl „%1“</translation>
    </message>
    <message>
        <source>--home needs a folder</source>
        <translation>--home braucht einen Ordner</translation>
    </message>
    <message>
        <source>unknown option &quot;%1&quot;</source>
        <translation>unbekannte Option „%1“</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is no forward; write PORT/PROTO, as 8096/tcp</source>
        <translation>„%1“ ist keine Weiterleitung; schreiben Sie PORT/PROTO, etwa 8096/tcp</translation>
    </message>
    <message>
        <source>Usage: harborly-cli [--home DIR] [--password-stdin] COMMAND

Forwards the ports of chosen applications on the home router to this computer.
Every command first loads the configuration and queries the router&apos;s status.

Commands:
  status               the router&apos;s WAN address and firmware version
  list                 the application catalog with its port ranges
  slots                the router&apos;s forwards (web: its ten slots)
  point NAME...        forward the named applications to this computer
                       (names as the list shows them, matched exactly)
  clear                remove the forwards Harborly made (web: every slot)
  remove PORT/PROTO    remove one forward to this computer (8096/tcp), whoever made it
  dmz set              make this computer the router&apos;s DMZ host
  dmz clear            clear the DMZ host
  show forward|dmz     save the router&apos;s screen to the program folder
  keep                 keep the forwards alive until stopped (SIGTERM, Ctrl-C)
  check [NAME...]      is it really working? for each forwarded port: a program
                       listening here, the router&apos;s forward, the way back in
                       (the applications last pointed when no NAME is given)

Options:
  --home DIR           use DIR as the program folder (Harborly.ini, log, page)
  --password-stdin     read the login password from standard input
  --help               show this text
  --version            show the version

Exit status: 0 completed, 1 failed, 2 router error, 3 refused, 64 usage error.
</source>
        <translation>Aufruf: harborly-cli [--home ORDNER] [--password-stdin] BEFEHL

Leitet die Ports ausgewählter Anwendungen am Heimrouter auf diesen Computer weiter.
Jeder Befehl lädt zuerst die Konfiguration und fragt den Status des Routers ab.

Befehle:
  status               WAN-Adresse und Firmware-Version des Routers
  list                 der Anwendungskatalog mit seinen Portbereichen
  slots                die Weiterleitungen des Routers (web: seine zehn Plätze)
  point NAME...        die genannten Anwendungen auf diesen Computer weiterleiten
                       (Namen genau so, wie die Liste sie zeigt)
  clear                die von Harborly angelegten Weiterleitungen entfernen
                       (web: alle Plätze)
  remove PORT/PROTO    eine Weiterleitung auf diesen Computer entfernen (8096/tcp),
                       gleich wer sie angelegt hat
  dmz set              diesen Computer zum DMZ-Host des Routers machen
  dmz clear            den DMZ-Host aufheben
  show forward|dmz     die Seite des Routers im Programmordner speichern
  keep                 die Weiterleitungen aufrechterhalten, bis das Programm beendet
                       wird (SIGTERM, Strg+C)
  check [NAME...]      funktioniert es wirklich? Für jeden weitergeleiteten Port: ein
                       Programm, das hier lauscht, die Weiterleitung im Router, der Weg
                       zurück herein (ohne NAME die zuletzt weitergeleiteten Anwendungen)

Optionen:
  --home ORDNER        ORDNER als Programmordner verwenden (Harborly.ini, Protokoll, Seite)
  --password-stdin     das Anmeldepasswort von der Standardeingabe lesen
  --help               diesen Text anzeigen
  --version            die Version anzeigen

Exit-Status: 0 erledigt, 1 fehlgeschlagen, 2 Routerfehler, 3 abgelehnt, 64 Aufruffehler.
</translation>
    </message>
    <message>
        <source>The router&apos;s list of forwards could not be read, and the router gave no reason.</source>
        <translation>Die Liste der Weiterleitungen im Router konnte nicht gelesen werden, und der Router nannte keinen Grund.</translation>
    </message>
    <message>
        <source>This router kind has no list of forwards to remove one from; &quot;clear&quot; empties its slots.</source>
        <translation>Diese Routerart hat keine Liste, aus der sich eine einzelne Weiterleitung entfernen ließe; „clear“ leert ihre Plätze.</translation>
    </message>
    <message>
        <source>Port %1/%2 forwards to another computer (%3); Harborly removes only this computer&apos;s forwards.</source>
        <translation>Port %1/%2 wird an einen anderen Computer weitergeleitet (%3); Harborly entfernt nur die Weiterleitungen dieses Computers.</translation>
    </message>
    <message>
        <source>Port %1/%2 is still on the router, which gave no reason.</source>
        <translation>Port %1/%2 ist noch im Router eingetragen; der Router nannte keinen Grund.</translation>
    </message>
    <message>
        <source>No forward of port %1/%2 is on the router; &quot;harborly-cli slots&quot; lists them.</source>
        <translation>Im Router gibt es keine Weiterleitung für Port %1/%2; „harborly-cli slots“ listet sie auf.</translation>
    </message>
    <message>
        <source>The web pages&apos; forwards do not lapse: there is nothing to keep alive.</source>
        <translation>Die Weiterleitungen über die Webseiten laufen nicht ab: Es gibt nichts aufrechtzuerhalten.</translation>
    </message>
    <message>
        <source>Keeping the forwards on %1 alive; stop with Ctrl-C.</source>
        <translation>Die Weiterleitungen auf %1 werden aufrechterhalten; beenden mit Strg+C.</translation>
    </message>
    <message>
        <source>Cannot keep the forwards alive: %1</source>
        <translation>Die Weiterleitungen können nicht aufrechterhalten werden: %1</translation>
    </message>
    <message>
        <source>Stopped.</source>
        <translation>Beendet.</translation>
    </message>
    <message>
        <source>The list could not be saved to %1</source>
        <translation>Die Liste konnte nicht in %1 gespeichert werden</translation>
    </message>
    <message>
        <source>There is no configuration in %1 yet.</source>
        <translation>In %1 gibt es noch keine Konfiguration.</translation>
    </message>
    <message>
        <source>Start the window once with Harborly --home %1 and choose the router there, or set RouterKind (auto, upnp, pcp, natpmp or web) and LanPrivateIP under [Misc] in %2 (the shipped catalog has just been copied there).</source>
        <translation>Starten Sie einmal das Fenster mit Harborly --home %1 und wählen Sie dort den Router, oder setzen Sie RouterKind (auto, upnp, pcp, natpmp oder web) und LanPrivateIP unter [Misc] in %2 (der mitgelieferte Katalog wurde gerade dorthin kopiert).</translation>
    </message>
    <message>
        <source>Start the window once with Harborly --home %1 and choose the router there, or set RouterKind (auto, upnp, pcp, natpmp or web) and LanPrivateIP under [Misc] in %2.</source>
        <translation>Starten Sie einmal das Fenster mit Harborly --home %1 und wählen Sie dort den Router, oder setzen Sie RouterKind (auto, upnp, pcp, natpmp oder web) und LanPrivateIP unter [Misc] in %2.</translation>
    </message>
    <message>
        <source>No router password is stored in %1; set one in Harborly with Configuration &gt; Edit Router Settings.</source>
        <translation>In %1 ist kein Routerpasswort gespeichert; legen Sie in Harborly unter Konfiguration &gt; Routereinstellungen bearbeiten eines fest.</translation>
    </message>
    <message>
        <source>The login password is required: type it on a terminal or give it with --password-stdin.</source>
        <translation>Das Anmeldepasswort wird benötigt: Geben Sie es in einem Terminal ein oder übergeben Sie es mit --password-stdin.</translation>
    </message>
    <message>
        <source>Invalid user name or password.</source>
        <translation>Benutzername oder Passwort ist ungültig.</translation>
    </message>
    <message>
        <source>Harborly.ini names a router kind that Harborly does not know: &quot;%1&quot;</source>
        <translation>Harborly.ini nennt eine Routerart, die Harborly nicht kennt: „%1“</translation>
    </message>
    <message>
        <source>No application is called &quot;%1&quot;; &quot;harborly-cli list&quot; shows them.</source>
        <translation>Keine Anwendung heißt „%1“; „harborly-cli list“ zeigt alle an.</translation>
    </message>
    <message>
        <source>Router password: </source>
        <translation>Routerpasswort: </translation>
    </message>
</context>
<context>
    <name>Config</name>
    <message>
        <source>Unable to Open Log File</source>
        <translation>Protokolldatei kann nicht geöffnet werden</translation>
    </message>
    <message>
        <source>$VISUAL and $EDITOR (in a terminal)</source>
        <translation>$VISUAL und $EDITOR (in einem Terminal)</translation>
    </message>
</context>
<context>
    <name>Configuration</name>
    <message>
        <source>Harborly.ini names %1 applications; the list holds %2, so [Application%3] and after are left out.</source>
        <translation>Harborly.ini nennt %1 Anwendungen; die Liste fasst %2, daher werden [Application%3] und alle folgenden ausgelassen.</translation>
    </message>
</context>
<context>
    <name>FirewallConsent</name>
    <message>
        <source>%1, zone %2</source>
        <translation>%1, Zone %2</translation>
    </message>
    <message>
        <source>The router now forwards %1 to this computer, but this computer&apos;s own firewall (%2) blocks them or may block them.<byte value="xd"/>Open them here too? Harborly keeps them open with the forwards and closes them again with Clear All Points.</source>
        <translation>Der Router leitet %1 jetzt an diesen Computer weiter, aber die eigene Firewall dieses Computers (%2) blockiert sie oder könnte sie blockieren.<byte value="xd"/>Sollen sie auch hier geöffnet werden? Harborly hält sie zusammen mit den Weiterleitungen offen und schließt sie mit „Alle entfernen“ wieder.</translation>
    </message>
    <message>
        <source>Open them here too</source>
        <translation>Auch hier öffnen</translation>
    </message>
    <message>
        <source>Not now</source>
        <translation>Jetzt nicht</translation>
    </message>
    <message>
        <source>Never ask</source>
        <translation>Nicht mehr fragen</translation>
    </message>
</context>
<context>
    <name>FirewallHolds</name>
    <message>
        <source>%1/%2 (%3) in this computer&apos;s firewall (%4)</source>
        <translation>%1/%2 (%3) in der Firewall dieses Computers (%4)</translation>
    </message>
    <message>
        <source>this computer&apos;s firewall cannot be reached now</source>
        <translation>die Firewall dieses Computers ist gerade nicht erreichbar</translation>
    </message>
    <message>
        <source>: that firewall is not running now</source>
        <translation>: Diese Firewall läuft gerade nicht</translation>
    </message>
    <message>
        <source>gone from this computer&apos;s firewall (it was reloaded)</source>
        <translation>in der Firewall dieses Computers verschwunden (sie wurde neu geladen)</translation>
    </message>
    <message>
        <source>, zone </source>
        <translation>, Zone </translation>
    </message>
</context>
<context>
    <name>Firewalld</name>
    <message>
        <source>firewalld refused: this user is not allowed to do it (the system&apos;s authorisation said no)</source>
        <translation>firewalld hat abgelehnt: Dieser Benutzer darf das nicht (die Berechtigungsprüfung des Systems hat es verweigert)</translation>
    </message>
    <message>
        <source>firewalld did not answer in time</source>
        <translation>firewalld hat nicht rechtzeitig geantwortet</translation>
    </message>
    <message>
        <source>firewalld is not running</source>
        <translation>firewalld läuft nicht</translation>
    </message>
    <message>
        <source>firewalld answered: %1</source>
        <translation>firewalld antwortete: %1</translation>
    </message>
    <message>
        <source>the zone lets everything in</source>
        <translation>die Zone lässt alles durch</translation>
    </message>
    <message>
        <source>service %1</source>
        <translation>Dienst %1</translation>
    </message>
    <message>
        <source>the zone has rich rules, which Harborly does not read</source>
        <translation>die Zone hat Rich Rules, die Harborly nicht auswertet</translation>
    </message>
    <message>
        <source>cannot tell whether this computer&apos;s firewall (%1) lets %2 in: %3</source>
        <translation>nicht feststellbar, ob die Firewall dieses Computers (%1) %2 durchlässt: %3</translation>
    </message>
    <message>
        <source>this computer&apos;s firewall (%1) lets %2 in</source>
        <translation>die Firewall dieses Computers (%1) lässt %2 durch</translation>
    </message>
    <message>
        <source>this computer&apos;s firewall (%1) blocks %2</source>
        <translation>die Firewall dieses Computers (%1) blockiert %2</translation>
    </message>
</context>
<context>
    <name>HelpWindow</name>
    <message>
        <source>Harborly Help</source>
        <translation>Harborly-Hilfe</translation>
    </message>
    <message>
        <source>The help file %1 could not be read.</source>
        <translation>Die Hilfedatei %1 konnte nicht gelesen werden.</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
</context>
<context>
    <name>Keeper</name>
    <message>
        <source>The router restarted; %1 forwards made again</source>
        <translation>Der Router wurde neu gestartet; %1 Weiterleitungen neu angelegt</translation>
    </message>
</context>
<context>
    <name>OuterRouter</name>
    <message>
        <source> (through two routers)</source>
        <translation> (über zwei Router)</translation>
    </message>
    <message>
        <source>%1, behind %2</source>
        <translation>%1, vorgeschaltet: %2</translation>
    </message>
    <message>
        <source>The router in front (%1) did not forward them all; those it did not reach only the router here.</source>
        <translation>Der vorgeschaltete Router (%1) hat nicht alle weitergeleitet; die übrigen reichen nur bis zum Router hier.</translation>
    </message>
    <message>
        <source>In front (%1): </source>
        <translation>Vorgeschaltet (%1): </translation>
    </message>
    <message>
        <source>the router here</source>
        <translation>der Router hier</translation>
    </message>
    <message>
        <source>the router in front (%1) could not be asked</source>
        <translation>der vorgeschaltete Router (%1) konnte nicht gefragt werden</translation>
    </message>
    <message>
        <source>the router in front (%1) forwards it</source>
        <translation>der vorgeschaltete Router (%1) leitet ihn weiter</translation>
    </message>
    <message>
        <source>the router in front (%1) does not forward it</source>
        <translation>der vorgeschaltete Router (%1) leitet ihn nicht weiter</translation>
    </message>
    <message>
        <source>the router in front (%1)</source>
        <translation>der vorgeschaltete Router (%1)</translation>
    </message>
    <message>
        <source>The router in front (%1): </source>
        <translation>Vorgeschalteter Router (%1): </translation>
    </message>
    <message>
        <source>[Misc] OuterRouter is neither an address, address:port, a description URL nor none.</source>
        <translation>[Misc] OuterRouter ist weder eine Adresse, Adresse:Port oder Beschreibungs-URL noch none.</translation>
    </message>
    <message>
        <source>The router in front (%1) answers UPnP only, and the router here tells a public outside address: the one it has toward the router in front is unknown, so nothing was forwarded there.</source>
        <translation>Der vorgeschaltete Router (%1) spricht nur UPnP, und der Router hier nennt eine öffentliche äußere Adresse: Seine Adresse zum vorgeschalteten Router hin ist unbekannt, daher wurde dort nichts weitergeleitet.</translation>
    </message>
    <message>
        <source>A second router is in front (%1), but it answers neither UPnP, PCP nor NAT-PMP: forwards reach only the router here.</source>
        <translation>Ein zweiter Router ist vorgeschaltet (%1), antwortet aber weder auf UPnP noch auf PCP oder NAT-PMP: Weiterleitungen reichen nur bis zum Router hier.</translation>
    </message>
    <message>
        <source>the router at %1 (%2)</source>
        <translation>Router unter %1 (%2)</translation>
    </message>
    <message>
        <source>the router refused it.</source>
        <translation>Der Router hat sie abgelehnt.</translation>
    </message>
    <message>
        <source>%1/%2 comes in at the router in front through outside port %3.</source>
        <translation>%1/%2 kommt am vorgeschalteten Router über Außenport %3 herein.</translation>
    </message>
    <message>
        <source>the router in front restarted</source>
        <translation>der vorgeschaltete Router wurde neu gestartet</translation>
    </message>
    <message>
        <source>the router in front answers again</source>
        <translation>der vorgeschaltete Router antwortet wieder</translation>
    </message>
    <message>
        <source>%1 at %2 (UPnP IGD v%3)</source>
        <translation>%1 unter %2 (UPnP IGD v%3)</translation>
    </message>
    <message>
        <source>the router did not answer.</source>
        <translation>Der Router hat nicht geantwortet.</translation>
    </message>
    <message>
        <source>the router refused to remove it (UPnP error %1).</source>
        <translation>Der Router hat es abgelehnt, sie zu entfernen (UPnP-Fehler %1).</translation>
    </message>
</context>
<context>
    <name>PortCheck</name>
    <message>
        <source>this kind of router cannot be asked to make it again</source>
        <translation>bei dieser Routerart lässt sie sich nicht neu anlegen</translation>
    </message>
    <message>
        <source>%1 listens on %2 over IPv4 only — nothing answers through the IPv6 pinhole</source>
        <translation>%1 lauscht auf %2 nur über IPv4 – durch die IPv6-Freigabe antwortet nichts</translation>
    </message>
    <message>
        <source>%1 listens on %2 over IPv6 only — nothing answers through the IPv4 forward</source>
        <translation>%1 lauscht auf %2 nur über IPv6 – über die IPv4-Weiterleitung antwortet nichts</translation>
    </message>
    <message>
        <source>the router held the forward but nothing arrived; it was made again and now arrives</source>
        <translation>der Router hatte die Weiterleitung, aber nichts kam an; sie wurde neu angelegt, jetzt kommt es an</translation>
    </message>
    <message>
        <source>the router held the forward but nothing arrived; it was made again, still nothing arrives</source>
        <translation>der Router hatte die Weiterleitung, aber nichts kam an; sie wurde neu angelegt, es kommt aber weiterhin nichts an</translation>
    </message>
    <message>
        <source>the router held the forward but nothing arrived; making it again failed (%1)</source>
        <translation>der Router hatte die Weiterleitung, aber nichts kam an; das Neuanlegen ist fehlgeschlagen (%1)</translation>
    </message>
</context>
<context>
    <name>ProtocolRouter</name>
    <message>
        <source>Harborly cannot open this computer&apos;s firewall.</source>
        <translation>Harborly kann die Firewall dieses Computers nicht öffnen.</translation>
    </message>
    <message>
        <source>This computer&apos;s firewall was not opened</source>
        <translation>Die Firewall dieses Computers wurde nicht geöffnet</translation>
    </message>
    <message>
        <source>No applications are selected.</source>
        <translation>Es sind keine Anwendungen ausgewählt.</translation>
    </message>
    <message>
        <source>%1 of %2 IPv6 ports opened; %3 refused</source>
        <translation>%1 von %2 IPv6-Ports geöffnet; %3 abgelehnt</translation>
    </message>
    <message>
        <source>%1 of %2 forwards made; %3 refused</source>
        <translation>%1 von %2 Weiterleitungen angelegt; %3 abgelehnt</translation>
    </message>
</context>
<context>
    <name>Router</name>
    <message>
        <source>UPnP, PCP and NAT-PMP offer no DMZ control: set the DMZ host in the router&apos;s own settings.</source>
        <translation>UPnP, PCP und NAT-PMP können keine DMZ einrichten: Legen Sie den DMZ-Host in den Einstellungen des Routers selbst fest.</translation>
    </message>
    <message>
        <source>No router address is set and this computer has no default gateway.</source>
        <translation>Es ist keine Routeradresse eingestellt, und dieser Computer hat kein Standard-Gateway.</translation>
    </message>
    <message>
        <source>a program</source>
        <translation>ein Programm</translation>
    </message>
    <message>
        <source>whether it arrives from outside cannot be told from inside for UDP</source>
        <translation>ob UDP von außen ankommt, lässt sich von innen nicht feststellen</translation>
    </message>
    <message>
        <source>the router told no outside address to try</source>
        <translation>der Router nannte keine äußere Adresse zum Ausprobieren</translation>
    </message>
    <message>
        <source>cannot tell from inside: the router on this computer&apos;s loopback has no real outside address to try</source>
        <translation>von innen nicht feststellbar: Der Router auf der Loopback-Schnittstelle dieses Computers hat keine echte äußere Adresse zum Ausprobieren</translation>
    </message>
    <message>
        <source>cannot tell from inside: the router&apos;s outside address %1 is not on the Internet</source>
        <translation>von innen nicht feststellbar: Die äußere Adresse %1 des Routers liegt nicht im Internet</translation>
    </message>
    <message>
        <source>no IPv6 pinhole open — press Point To Me</source>
        <translation>keine IPv6-Freigabe offen – klicken Sie auf „Zu mir weiterleiten“</translation>
    </message>
    <message>
        <source>the router cannot be asked whether it holds the forward</source>
        <translation>der Router lässt sich nicht fragen, ob er die Weiterleitung hat</translation>
    </message>
    <message>
        <source>not forwarded on the router — press Point To Me</source>
        <translation>im Router nicht weitergeleitet – klicken Sie auf „Zu mir weiterleiten“</translation>
    </message>
    <message>
        <source>IPv6 pinhole open</source>
        <translation>IPv6-Freigabe offen</translation>
    </message>
    <message>
        <source>the IPv6 pinhole has lapsed</source>
        <translation>die IPv6-Freigabe ist abgelaufen</translation>
    </message>
    <message>
        <source>nothing on this computer listens on %1 — start %2</source>
        <translation>auf diesem Computer lauscht nichts auf %1 – starten Sie %2</translation>
    </message>
    <message>
        <source>%1 listens on %2 only for this computer (%3) — let it listen on all addresses</source>
        <translation>%1 lauscht auf %2 nur für diesen Computer (%3) – lassen Sie es auf allen Adressen lauschen</translation>
    </message>
    <message>
        <source>%1 listens on %2</source>
        <translation>%1 lauscht auf %2</translation>
    </message>
    <message>
        <source>a connection to the router&apos;s outside address came back to this computer</source>
        <translation>eine Verbindung zur äußeren Adresse des Routers kam bei diesem Computer an</translation>
    </message>
    <message>
        <source>a connection to the router&apos;s outside address was taken by another computer</source>
        <translation>eine Verbindung zur äußeren Adresse des Routers wurde von einem anderen Computer angenommen</translation>
    </message>
    <message>
        <source>cannot tell from inside whether it arrives from outside (the router does not bring connections to %1 back in)</source>
        <translation>von innen nicht feststellbar, ob es von außen ankommt (der Router leitet Verbindungen zu %1 nicht nach innen zurück)</translation>
    </message>
    <message>
        <source>the outside checker reached it</source>
        <translation>die Prüfung von außen hat es erreicht</translation>
    </message>
    <message>
        <source>the outside checker could not reach it</source>
        <translation>die Prüfung von außen konnte es nicht erreichen</translation>
    </message>
    <message>
        <source>the outside checker could not tell (%1)</source>
        <translation>die Prüfung von außen ergab kein Ergebnis (%1)</translation>
    </message>
    <message>
        <source>no answer</source>
        <translation>keine Antwort</translation>
    </message>
    <message>
        <source>CheckUrl is not an http:// address</source>
        <translation>CheckUrl ist keine http://-Adresse</translation>
    </message>
    <message>
        <source>it did not answer as expected</source>
        <translation>sie antwortete nicht wie erwartet</translation>
    </message>
    <message>
        <source>no answer in time</source>
        <translation>keine rechtzeitige Antwort</translation>
    </message>
    <message>
        <source>Cannot keep the forwards: </source>
        <translation>Die Weiterleitungen können nicht aufrechterhalten werden: </translation>
    </message>
    <message>
        <source>half its lease was gone</source>
        <translation>die Hälfte der Laufzeit war vorbei</translation>
    </message>
    <message>
        <source>the router holds it</source>
        <translation>der Router hat sie noch</translation>
    </message>
    <message>
        <source>made after the router answered again</source>
        <translation>angelegt, nachdem der Router wieder antwortete</translation>
    </message>
    <message>
        <source>%1: another computer or program holds this port now; Harborly no longer keeps it.</source>
        <translation>%1: Ein anderer Computer oder ein anderes Programm belegt diesen Port jetzt; Harborly erhält ihn nicht mehr aufrecht.</translation>
    </message>
    <message>
        <source>the router is back without it</source>
        <translation>der Router ist ohne sie zurück</translation>
    </message>
    <message>
        <source>gone from the router</source>
        <translation>im Router verschwunden</translation>
    </message>
    <message>
        <source>opened again %1: this computer&apos;s address changed</source>
        <translation>%1 erneut geöffnet: Die Adresse dieses Computers hat sich geändert</translation>
    </message>
    <message>
        <source>%1 %2 on %3: %4</source>
        <translation>%2 auf %3 %1: %4</translation>
    </message>
    <message>
        <source>made again</source>
        <translation>neu angelegt</translation>
    </message>
    <message>
        <source>: the record could not be written: </source>
        <translation>: Die Lease-Datei konnte nicht geschrieben werden: </translation>
    </message>
    <message>
        <source>removed %1 again: it was cleared meanwhile</source>
        <translation>%1 wieder entfernt: Sie wurde inzwischen gelöscht</translation>
    </message>
    <message>
        <source>The router stopped answering; %1 forward(s) wait for it</source>
        <translation>Der Router antwortet nicht mehr; %1 Weiterleitung(en) warten auf ihn</translation>
    </message>
    <message>
        <source>Router back; %1 forwards made again</source>
        <translation>Router wieder da; %1 Weiterleitungen neu angelegt</translation>
    </message>
    <message>
        <source>: not made, since the record of forwards cannot be written: </source>
        <translation>: nicht angelegt, da die Lease-Datei der Weiterleitungen nicht geschrieben werden kann: </translation>
    </message>
    <message>
        <source>%1 forward(s) not tried.</source>
        <translation>%1 Weiterleitung(en) nicht versucht.</translation>
    </message>
    <message>
        <source> It was removed from the router again.</source>
        <translation> Sie wurde wieder aus dem Router entfernt.</translation>
    </message>
    <message>
        <source>%1 forward(s) left to remove when the router answers again.</source>
        <translation>%1 Weiterleitung(en) werden entfernt, sobald der Router wieder antwortet.</translation>
    </message>
    <message>
        <source>: the router did not answer.</source>
        <translation>: Der Router hat nicht geantwortet.</translation>
    </message>
    <message>
        <source>: another computer or program holds this port now; it was left in place.</source>
        <translation>: Ein anderer Computer oder ein anderes Programm belegt diesen Port jetzt; die Weiterleitung bleibt bestehen.</translation>
    </message>
    <message>
        <source>: the router said it removed it, but still holds it.</source>
        <translation>: Der Router meldete sie als entfernt, hat sie aber noch.</translation>
    </message>
    <message>
        <source>removed %1: cleared while the router was silent</source>
        <translation>%1 entfernt: gelöscht, während der Router nicht antwortete</translation>
    </message>
    <message>
        <source>The lease record %1 cannot be written: its lock %2 cannot be taken (%3); it was not changed.</source>
        <translation>Die Lease-Datei %1 kann nicht geschrieben werden: Ihre Sperre %2 lässt sich nicht setzen (%3); sie wurde nicht geändert.</translation>
    </message>
    <message>
        <source>The lease record %1 is a folder, not a file; it is left as it is.</source>
        <translation>Die Lease-Datei %1 ist ein Ordner, keine Datei; sie bleibt unverändert.</translation>
    </message>
    <message>
        <source>The lease record %1 cannot be read (%2); it is left as it is.</source>
        <translation>Die Lease-Datei %1 kann nicht gelesen werden (%2); sie bleibt unverändert.</translation>
    </message>
    <message>
        <source>The lease record %1 is over 1 MiB; it is left as it is.</source>
        <translation>Die Lease-Datei %1 ist größer als 1 MiB; sie bleibt unverändert.</translation>
    </message>
    <message>
        <source>%1 is not a lease record; it is left as it is.</source>
        <translation>%1 ist keine Lease-Datei; sie bleibt unverändert.</translation>
    </message>
    <message>
        <source>it is empty</source>
        <translation>sie ist leer</translation>
    </message>
    <message>
        <source>it is cut off in line %1</source>
        <translation>sie bricht in Zeile %1 ab</translation>
    </message>
    <message>
        <source>The lease record %1 is damaged: %2, as a write that did not finish leaves it; it is left as it is.</source>
        <translation>Die Lease-Datei %1 ist beschädigt: %2, wie nach einem abgebrochenen Schreibvorgang; sie bleibt unverändert.</translation>
    </message>
    <message>
        <source>The lease record %1 lists more than %2 forwards; it is left as it is.</source>
        <translation>Die Lease-Datei %1 führt mehr als %2 Weiterleitungen auf; sie bleibt unverändert.</translation>
    </message>
    <message>
        <source>The lease record %1 would list more than it may hold (%2 lines, 1 MiB); it was not changed.</source>
        <translation>Die Lease-Datei %1 würde mehr enthalten als erlaubt (%2 Zeilen, 1 MiB); sie wurde nicht geändert.</translation>
    </message>
    <message>
        <source>The lease record %1 cannot be written: it is read-only; it was not changed.</source>
        <translation>Die Lease-Datei %1 kann nicht geschrieben werden: Sie ist schreibgeschützt; sie wurde nicht geändert.</translation>
    </message>
    <message>
        <source>The lease record %1 cannot be written (%2); it was not changed.</source>
        <translation>Die Lease-Datei %1 kann nicht geschrieben werden (%2); sie wurde nicht geändert.</translation>
    </message>
    <message>
        <source>The lease record %1 was changed by another process while its lock file was missing; this change was not saved.</source>
        <translation>Die Lease-Datei %1 wurde von einem anderen Prozess geändert, während ihre Sperrdatei fehlte; diese Änderung wurde nicht gespeichert.</translation>
    </message>
    <message>
        <source>The ports of %1 (%2-%3) are not a range of port numbers from 1 to 65535; correct them with Edit Applications.</source>
        <translation>Die Ports von %1 (%2-%3) sind kein Bereich von Portnummern zwischen 1 und 65535; korrigieren Sie sie unter „Anwendungen bearbeiten“.</translation>
    </message>
    <message>
        <source>The chosen applications need more than %1 port forwards (%2 has the ports %3-%4). This router takes them one port at a time: choose fewer applications or narrower ranges.</source>
        <translation>Die gewählten Anwendungen brauchen mehr als %1 Portweiterleitungen (%2 hat die Ports %3-%4). Dieser Router nimmt sie Port für Port an: Wählen Sie weniger Anwendungen oder kleinere Bereiche.</translation>
    </message>
    <message>
        <source>Reachable over IPv6 at %1; IPv4 forwards cannot reach this computer: the router has no public internet address%2.</source>
        <translation>Über IPv6 unter %1 erreichbar; IPv4-Weiterleitungen erreichen diesen Computer nicht: Der Router hat keine öffentliche Internetadresse%2.</translation>
    </message>
    <message>
        <source> Another router or your provider sits in front of it, so port forwarding on this router cannot make your computer reachable from the internet.</source>
        <translation> Ein weiterer Router oder Ihr Anbieter sitzt davor, daher kann eine Portweiterleitung an diesem Router Ihren Computer nicht aus dem Internet erreichbar machen.</translation>
    </message>
    <message>
        <source>Your router does not have a public internet address.</source>
        <translation>Ihr Router hat keine öffentliche Internetadresse.</translation>
    </message>
    <message>
        <source>Your router does not have a public internet address (%1).</source>
        <translation>Ihr Router hat keine öffentliche Internetadresse (%1).</translation>
    </message>
    <message>
        <source>%1, IPv6 %2</source>
        <translation>%1, IPv6 %2</translation>
    </message>
    <message>
        <source>The router at %1 did not answer NAT-PMP requests.</source>
        <translation>Der Router unter %1 hat auf NAT-PMP-Anfragen nicht geantwortet.</translation>
    </message>
    <message>
        <source>The router at %1 did not answer PCP or NAT-PMP requests.</source>
        <translation>Der Router unter %1 hat auf PCP- und NAT-PMP-Anfragen nicht geantwortet.</translation>
    </message>
    <message>
        <source>Another request to the router is still waiting.</source>
        <translation>Eine andere Anfrage an den Router wartet noch.</translation>
    </message>
    <message>
        <source>The router at %1 does not take PCP or NAT-PMP requests (port %2 is closed).</source>
        <translation>Der Router unter %1 nimmt keine PCP- oder NAT-PMP-Anfragen an (Port %2 ist geschlossen).</translation>
    </message>
    <message>
        <source>The router answered without granting a port.</source>
        <translation>Der Router hat geantwortet, aber keinen Port vergeben.</translation>
    </message>
    <message>
        <source>Harborly made an invalid forwarding request.</source>
        <translation>Harborly hat eine ungültige Weiterleitungsanfrage gestellt.</translation>
    </message>
    <message>
        <source>No router address is set.</source>
        <translation>Es ist keine Routeradresse eingestellt.</translation>
    </message>
    <message>
        <source>This computer has no route to the router at %1.</source>
        <translation>Dieser Computer hat keine Route zum Router unter %1.</translation>
    </message>
    <message>
        <source>Harborly could not open a network socket toward the router.</source>
        <translation>Harborly konnte keinen Netzwerk-Socket zum Router öffnen.</translation>
    </message>
    <message>
        <source>%1 port %2 for %3: </source>
        <translation>%1-Port %2 für %3: </translation>
    </message>
    <message>
        <source>the router refused it.</source>
        <translation>Der Router hat sie abgelehnt.</translation>
    </message>
    <message>
        <source>%1/%2 reaches this computer through outside port %3.</source>
        <translation>%1/%2 erreicht diesen Computer über den Außenport %3.</translation>
    </message>
    <message>
        <source>the router restarted</source>
        <translation>der Router wurde neu gestartet</translation>
    </message>
    <message>
        <source>%1 port %2 for %3: %4</source>
        <translation>%1-Port %2 für %3: %4</translation>
    </message>
    <message>
        <source>this computer&apos;s address changed</source>
        <translation>die Adresse dieses Computers hat sich geändert</translation>
    </message>
    <message>
        <source>the router answers again</source>
        <translation>der Router antwortet wieder</translation>
    </message>
    <message>
        <source>The router&apos;s NAT-PMP service is not compatible.</source>
        <translation>Der NAT-PMP-Dienst des Routers ist nicht kompatibel.</translation>
    </message>
    <message>
        <source>The router refuses port forwarding for this computer (check NAT-PMP/UPnP in its settings).</source>
        <translation>Der Router verweigert diesem Computer die Portweiterleitung (prüfen Sie NAT-PMP/UPnP in seinen Einstellungen).</translation>
    </message>
    <message>
        <source>The router is not connected to the internet or has no public address.</source>
        <translation>Der Router ist nicht mit dem Internet verbunden oder hat keine öffentliche Adresse.</translation>
    </message>
    <message>
        <source>The router cannot create more port forwards right now.</source>
        <translation>Der Router kann im Moment keine weiteren Portweiterleitungen anlegen.</translation>
    </message>
    <message>
        <source>The router refused the request (NAT-PMP error %1).</source>
        <translation>Der Router hat die Anfrage abgelehnt (NAT-PMP-Fehler %1).</translation>
    </message>
    <message>
        <source>The router refuses port forwarding for this computer; allow it in the router&apos;s settings.</source>
        <translation>Der Router verweigert diesem Computer die Portweiterleitung; erlauben Sie sie in den Einstellungen des Routers.</translation>
    </message>
    <message>
        <source>The router is not connected to the internet yet.</source>
        <translation>Der Router ist noch nicht mit dem Internet verbunden.</translation>
    </message>
    <message>
        <source>You have reached the router&apos;s limit of port forwards for this computer.</source>
        <translation>Sie haben die Höchstzahl an Portweiterleitungen des Routers für diesen Computer erreicht.</translation>
    </message>
    <message>
        <source>Another NAT (for example a virtual machine or container network) sits between this computer and the router.</source>
        <translation>Zwischen diesem Computer und dem Router liegt ein weiteres NAT (zum Beispiel das Netz einer virtuellen Maschine oder eines Containers).</translation>
    </message>
    <message>
        <source>The router refused the request (PCP error %1).</source>
        <translation>Der Router hat die Anfrage abgelehnt (PCP-Fehler %1).</translation>
    </message>
    <message>
        <source>PCP and NAT-PMP offer no DMZ control: set the DMZ host in the router&apos;s own settings.</source>
        <translation>PCP und NAT-PMP können keine DMZ einrichten: Legen Sie den DMZ-Host in den Einstellungen des Routers selbst fest.</translation>
    </message>
    <message>
        <source>NAT-PMP works over IPv4 only, and this computer reaches the router at %1 over IPv6: choose PCP or UPnP.</source>
        <translation>NAT-PMP funktioniert nur über IPv4, und dieser Computer erreicht den Router unter %1 über IPv6: Wählen Sie PCP oder UPnP.</translation>
    </message>
    <message>
        <source>No PCP or NAT-PMP router answered.</source>
        <translation>Kein PCP- oder NAT-PMP-Router hat geantwortet.</translation>
    </message>
    <message>
        <source>%1 router at %2</source>
        <translation>%1-Router unter %2</translation>
    </message>
    <message>
        <source>the router restarted while Harborly was not running</source>
        <translation>der Router wurde neu gestartet, während Harborly nicht lief</translation>
    </message>
    <message>
        <source>This computer has no IPv4 address toward the router, and no IPv6 address to open ports for: no port was opened.</source>
        <translation>Dieser Computer hat weder eine IPv4-Adresse zum Router hin noch eine IPv6-Adresse, für die sich Ports öffnen ließen: Es wurde kein Port geöffnet.</translation>
    </message>
    <message>
        <source>NAT-PMP cannot open IPv6 pinholes: connections from outside to this computer&apos;s IPv6 address %1 stay blocked by the router&apos;s firewall.</source>
        <translation>NAT-PMP kann keine IPv6-Freigaben öffnen: Verbindungen von außen zur IPv6-Adresse %1 dieses Computers blockiert weiterhin die Firewall des Routers.</translation>
    </message>
    <message>
        <source>%1 port %2 is not among the forwards this computer holds.</source>
        <translation>%1-Port %2 gehört nicht zu den Weiterleitungen dieses Computers.</translation>
    </message>
    <message>
        <source>The forward was not removed</source>
        <translation>Die Weiterleitung wurde nicht entfernt</translation>
    </message>
    <message>
        <source>IPv6 pinhole %1/%2 for %3</source>
        <translation>IPv6-Freigabe %1/%2 für %3</translation>
    </message>
    <message>
        <source>this computer cannot reach the router over IPv6 now; it closes when its lease ends.</source>
        <translation>dieser Computer erreicht den Router gerade nicht über IPv6; sie schließt sich, wenn ihre Laufzeit endet.</translation>
    </message>
    <message>
        <source>: this computer cannot reach the router over IPv6 now.</source>
        <translation>: Dieser Computer erreicht den Router gerade nicht über IPv6.</translation>
    </message>
    <message>
        <source>The router did not answer PCP over IPv6: no IPv6 pinhole was opened for this computer&apos;s address %1.</source>
        <translation>Der Router hat über IPv6 nicht auf PCP geantwortet: Für die Adresse %1 dieses Computers wurde keine IPv6-Freigabe geöffnet.</translation>
    </message>
    <message>
        <source>%1: the router would not close it early; it closes by itself in %2 s.</source>
        <translation>%1: Der Router wollte sie nicht vorzeitig schließen; sie schließt sich von selbst in %2 s.</translation>
    </message>
    <message>
        <source>Some forwards were not removed</source>
        <translation>Einige Weiterleitungen wurden nicht entfernt</translation>
    </message>
    <message>
        <source>No programs are selected</source>
        <translation>Keine Programme ausgewählt</translation>
    </message>
    <message>
        <source>No port was forwarded</source>
        <translation>Es wurde kein Port weitergeleitet</translation>
    </message>
    <message>
        <source>Some ports were not forwarded</source>
        <translation>Einige Ports wurden nicht weitergeleitet</translation>
    </message>
    <message>
        <source>This computer has no IPv4 address toward the router; only IPv6 ports were opened.</source>
        <translation>Dieser Computer hat keine IPv4-Adresse zum Router hin; es wurden nur IPv6-Ports geöffnet.</translation>
    </message>
    <message>
        <source>This computer&apos;s IPv6 address changed to %1; IPv6 ports opened again for it.</source>
        <translation>Die IPv6-Adresse dieses Computers hat sich in %1 geändert; die IPv6-Ports wurden für sie erneut geöffnet.</translation>
    </message>
    <message>
        <source>%1 port %2 (%3)</source>
        <translation>%1-Port %2 (%3)</translation>
    </message>
    <message>
        <source>Communication failure with the router<byte value="xd"/>Program has been aborted</source>
        <translation>Kommunikationsfehler mit dem Router<byte value="xd"/>Das Programm wurde abgebrochen</translation>
    </message>
    <message>
        <source>the router address is not valid</source>
        <translation>die Routeradresse ist ungültig</translation>
    </message>
    <message>
        <source>the router&apos;s name could not be looked up</source>
        <translation>der Name des Routers ließ sich nicht auflösen</translation>
    </message>
    <message>
        <source>this computer has no route to the router</source>
        <translation>dieser Computer hat keine Route zum Router</translation>
    </message>
    <message>
        <source>the router gave an unusable description address</source>
        <translation>der Router nannte eine unbrauchbare Adresse für seine Beschreibung</translation>
    </message>
    <message>
        <source>the router&apos;s description is too large</source>
        <translation>die Beschreibung des Routers ist zu groß</translation>
    </message>
    <message>
        <source>the router did not send its description in time</source>
        <translation>der Router hat seine Beschreibung nicht rechtzeitig gesendet</translation>
    </message>
    <message>
        <source>the router&apos;s description could not be reached</source>
        <translation>die Beschreibung des Routers war nicht erreichbar</translation>
    </message>
    <message>
        <source>the router&apos;s description could not be read</source>
        <translation>die Beschreibung des Routers ließ sich nicht lesen</translation>
    </message>
    <message>
        <source>the router answered HTTP %1 for its description</source>
        <translation>der Router antwortete auf die Anfrage nach seiner Beschreibung mit HTTP %1</translation>
    </message>
    <message>
        <source>the router&apos;s description was refused: </source>
        <translation>die Beschreibung des Routers wurde abgelehnt: </translation>
    </message>
    <message>
        <source>the router offers no WAN connection service</source>
        <translation>der Router bietet keinen WAN-Verbindungsdienst an</translation>
    </message>
    <message>
        <source>listed at once</source>
        <translation>auf einmal aufgelistet</translation>
    </message>
    <message>
        <source>too many entries</source>
        <translation>zu viele Einträge</translation>
    </message>
    <message>
        <source>time limit</source>
        <translation>Zeitlimit</translation>
    </message>
    <message>
        <source>error %1</source>
        <translation>Fehler %1</translation>
    </message>
    <message>
        <source>repeated entry</source>
        <translation>wiederholter Eintrag</translation>
    </message>
    <message>
        <source>The router did not answer the IPv6 port request.</source>
        <translation>Der Router hat auf die Anfrage nach dem IPv6-Port nicht geantwortet.</translation>
    </message>
    <message>
        <source>The router could not open the IPv6 port %1.</source>
        <translation>Der Router konnte den IPv6-Port %1 nicht öffnen.</translation>
    </message>
    <message>
        <source>The router does not allow this computer to open IPv6 port %1.</source>
        <translation>Der Router erlaubt diesem Computer nicht, den IPv6-Port %1 zu öffnen.</translation>
    </message>
    <message>
        <source>The router has no room for more open IPv6 ports.</source>
        <translation>Der Router hat keinen Platz für weitere offene IPv6-Ports.</translation>
    </message>
    <message>
        <source>The router does not filter IPv6; nothing needed to be opened.</source>
        <translation>Der Router filtert IPv6 nicht; es musste nichts geöffnet werden.</translation>
    </message>
    <message>
        <source>The router does not let programs open IPv6 ports. Allow it in the router&apos;s settings.</source>
        <translation>Der Router lässt Programme keine IPv6-Ports öffnen. Erlauben Sie es in den Einstellungen des Routers.</translation>
    </message>
    <message>
        <source>The router refused the IPv6 port request for %1 (error %2).</source>
        <translation>Der Router hat die Anfrage nach dem IPv6-Port für %1 abgelehnt (Fehler %2).</translation>
    </message>
    <message>
        <source>The router refused to open IPv6 port %1 (error %2).</source>
        <translation>Der Router hat es abgelehnt, den IPv6-Port %1 zu öffnen (Fehler %2).</translation>
    </message>
    <message>
        <source>Harborly cannot ask for IPv6 port %1 this way.</source>
        <translation>Harborly kann den IPv6-Port %1 auf diesem Weg nicht anfordern.</translation>
    </message>
    <message>
        <source>The router&apos;s answer for IPv6 port %1 named no pinhole.</source>
        <translation>Die Antwort des Routers für den IPv6-Port %1 nannte keine Freigabe.</translation>
    </message>
    <message>
        <source>remove the forward of</source>
        <translation>Entfernen der Weiterleitung</translation>
    </message>
    <message>
        <source>keep open</source>
        <translation>Offenhalten</translation>
    </message>
    <message>
        <source>The router did not accept the request&apos;s settings.</source>
        <translation>Der Router hat die Einstellungen der Anfrage nicht angenommen.</translation>
    </message>
    <message>
        <source>The router could not remove the forward of port %1.</source>
        <translation>Der Router konnte die Weiterleitung von Port %1 nicht entfernen.</translation>
    </message>
    <message>
        <source>The router could not open the port. It may not have its own public internet address.</source>
        <translation>Der Router konnte den Port nicht öffnen. Möglicherweise hat er keine eigene öffentliche Internetadresse.</translation>
    </message>
    <message>
        <source>Ports below 1024 are often refused. </source>
        <translation>Ports unter 1024 werden oft abgelehnt. </translation>
    </message>
    <message>
        <source>This router only forwards ports for one specific remote address, which Harborly does not support.</source>
        <translation>Dieser Router leitet Ports nur für eine bestimmte entfernte Adresse weiter; das unterstützt Harborly nicht.</translation>
    </message>
    <message>
        <source>This router does not allow forwarding all ports (DMZ) through UPnP.</source>
        <translation>Dieser Router erlaubt über UPnP keine Weiterleitung aller Ports (DMZ).</translation>
    </message>
    <message>
        <source>Port %1 is already forwarded to another device.</source>
        <translation>Port %1 wird bereits an ein anderes Gerät weitergeleitet.</translation>
    </message>
    <message>
        <source>Port %1 is already forwarded to another device (%2).</source>
        <translation>Port %1 wird bereits an ein anderes Gerät weitergeleitet (%2).</translation>
    </message>
    <message>
        <source>This router requires the outside and inside port numbers to be the same.</source>
        <translation>Dieser Router verlangt, dass Außen- und Innenport gleich sind.</translation>
    </message>
    <message>
        <source>This router only keeps port forwards permanently; Harborly will remove this one when you turn it off.</source>
        <translation>Dieser Router legt Portweiterleitungen nur dauerhaft an; Harborly entfernt diese, wenn Sie sie abschalten.</translation>
    </message>
    <message>
        <source>This router can only forward all ports at once, which Harborly does not do.</source>
        <translation>Dieser Router kann nur alle Ports auf einmal weiterleiten; das macht Harborly nicht.</translation>
    </message>
    <message>
        <source>The router&apos;s table of port forwards is full.</source>
        <translation>Die Tabelle der Portweiterleitungen im Router ist voll.</translation>
    </message>
    <message>
        <source>Port %1 is already used by a forwarding rule set up in the router itself.</source>
        <translation>Port %1 ist bereits durch eine Weiterleitungsregel belegt, die im Router selbst eingerichtet wurde.</translation>
    </message>
    <message>
        <source>the router did not answer.</source>
        <translation>Der Router hat nicht geantwortet.</translation>
    </message>
    <message>
        <source>the router refused it (UPnP error %1 %2).</source>
        <translation>Der Router hat sie abgelehnt (UPnP-Fehler %1 %2).</translation>
    </message>
    <message>
        <source>the router refused it (HTTP %1).</source>
        <translation>Der Router hat sie abgelehnt (HTTP %1).</translation>
    </message>
    <message>
        <source>the router refused to remove it (UPnP error %1).</source>
        <translation>Der Router hat es abgelehnt, sie zu entfernen (UPnP-Fehler %1).</translation>
    </message>
    <message>
        <source>The router did not answer; its forwards are removed when it answers again.</source>
        <translation>Der Router hat nicht geantwortet; seine Weiterleitungen werden entfernt, sobald er wieder antwortet.</translation>
    </message>
    <message>
        <source>The router&apos;s list could not be read whole (%1); forwards after the first %2 may remain.</source>
        <translation>Die Liste des Routers ließ sich nicht vollständig lesen (%1); Weiterleitungen nach den ersten %2 bleiben möglicherweise bestehen.</translation>
    </message>
    <message>
        <source>this computer has no global IPv6 address now; it closes when its lease ends.</source>
        <translation>dieser Computer hat gerade keine globale IPv6-Adresse; sie schließt sich, wenn ihre Laufzeit endet.</translation>
    </message>
    <message>
        <source>this computer has no global IPv6 address.</source>
        <translation>dieser Computer hat keine globale IPv6-Adresse.</translation>
    </message>
    <message>
        <source> (UPnP IGD v%1)</source>
        <translation> (UPnP IGD v%1)</translation>
    </message>
    <message>
        <source>A UPnP router offers no DMZ control: set the DMZ host in the router&apos;s own settings.</source>
        <translation>Ein UPnP-Router kann keine DMZ einrichten: Legen Sie den DMZ-Host in den Einstellungen des Routers selbst fest.</translation>
    </message>
    <message>
        <source>The router did not tell its Internet address.</source>
        <translation>Der Router hat seine Internetadresse nicht genannt.</translation>
    </message>
    <message>
        <source>This computer has no IPv4 address toward the router, and the router offers no IPv6 port opening: no port was opened.</source>
        <translation>Dieser Computer hat keine IPv4-Adresse zum Router hin, und der Router kann keine IPv6-Ports öffnen: Es wurde kein Port geöffnet.</translation>
    </message>
    <message>
        <source>%1 forward(s) in the record were made on another router at %2; this one (%3) is not asked to hold them.</source>
        <translation>%1 Weiterleitung(en) in der Lease-Datei wurden auf einem anderen Router unter %2 angelegt; dieser (%3) wird nicht gebeten, sie zu halten.</translation>
    </message>
    <message>
        <source>This computer&apos;s address changed and the router could not be found again: </source>
        <translation>Die Adresse dieses Computers hat sich geändert, und der Router wurde nicht wiedergefunden: </translation>
    </message>
    <message>
        <source>this computer&apos;s address changed from %1 to %2</source>
        <translation>die Adresse dieses Computers hat sich von %1 in %2 geändert</translation>
    </message>
    <message>
        <source>The router did not answer.</source>
        <translation>Der Router hat nicht geantwortet.</translation>
    </message>
    <message>
        <source>The router did not list its forwards (%1).</source>
        <translation>Der Router hat seine Weiterleitungen nicht aufgelistet (%1).</translation>
    </message>
    <message>
        <source>The router&apos;s list ended early (%1); forwards after the first %2 may be missing.</source>
        <translation>Die Liste des Routers endete vorzeitig (%1); Weiterleitungen nach den ersten %2 fehlen möglicherweise.</translation>
    </message>
    <message>
        <source>%1 port %2 forwards to another computer (%3); Harborly removes only this computer&apos;s forwards.</source>
        <translation>%1-Port %2 wird an einen anderen Computer weitergeleitet (%3); Harborly entfernt nur die Weiterleitungen dieses Computers.</translation>
    </message>
    <message>
        <source>%1 port %2: the router said it removed it, but still holds it.</source>
        <translation>%1-Port %2: Der Router meldete ihn als entfernt, hat ihn aber noch.</translation>
    </message>
    <message>
        <source>%1 port %2: %3</source>
        <translation>%1-Port %2: %3</translation>
    </message>
    <message>
        <source>The router offers IPv6 port opening but cannot be reached over IPv6 from this computer.</source>
        <translation>Der Router kann IPv6-Ports öffnen, ist von diesem Computer aus aber nicht über IPv6 erreichbar.</translation>
    </message>
    <message>
        <source>The router did not answer over IPv6.</source>
        <translation>Der Router hat über IPv6 nicht geantwortet.</translation>
    </message>
    <message>
        <source>The router did not say whether it filters IPv6.</source>
        <translation>Der Router hat nicht mitgeteilt, ob er IPv6 filtert.</translation>
    </message>
    <message>
        <source>IPv6 pinhole %1/%2 is not Harborly&apos;s.</source>
        <translation>Die IPv6-Freigabe %1/%2 stammt nicht von Harborly.</translation>
    </message>
    <message>
        <source>The pinhole was not closed</source>
        <translation>Die Freigabe wurde nicht geschlossen</translation>
    </message>
    <message>
        <source>The application &quot;%1&quot; cannot be forwarded: its name or ports hold &quot;%2&quot;, a character the router cannot receive.<byte value="xd"/>Rename it in Harborly.ini (Configuration &gt; Edit Applications). Nothing was sent to the router.</source>
        <translation>Die Anwendung „%1“ kann nicht weitergeleitet werden: Ihr Name oder ihre Ports enthalten „%2“, ein Zeichen, das der Router nicht empfangen kann.<byte value="xd"/>Benennen Sie sie in Harborly.ini um (Konfiguration &gt; Anwendungen bearbeiten). Es wurde nichts an den Router gesendet.</translation>
    </message>
    <message>
        <source>The programs you have chosen to forward require more<byte value="xd"/>&apos;slots&apos; then are available.  Linksys supplies only 10<byte value="xd"/>such slots for their firmware. Try selecting fewer applicatons<byte value="xd"/>or make more slots available by unforwarding all ports.</source>
        <translation>Die zur Weiterleitung gewählten Programme brauchen mehr<byte value="xd"/>Plätze, als verfügbar sind. Linksys bietet in seiner Firmware<byte value="xd"/>nur 10 solcher Plätze. Wählen Sie weniger Anwendungen aus<byte value="xd"/>oder schaffen Sie Platz, indem Sie alle Weiterleitungen entfernen.</translation>
    </message>
    <message>
        <source>Linksys Router Firmware Version </source>
        <translation>Linksys-Router, Firmware-Version </translation>
    </message>
    <message>
        <source>open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>forwarded</source>
        <translation>weitergeleitet</translation>
    </message>
    <message>
        <source>renewed</source>
        <translation>erneuert</translation>
    </message>
    <message>
        <source>recorded</source>
        <translation>erfasst</translation>
    </message>
    <message>
        <source>checked</source>
        <translation>geprüft</translation>
    </message>
    <message>
        <source>No router answered<byte value="xd"/>Harborly cannot forward ports without one</source>
        <translation>Kein Router hat geantwortet<byte value="xd"/>Ohne Router kann Harborly keine Ports weiterleiten</translation>
    </message>
    <message>
        <source>%1 stopped answering; %2 forward(s) wait for it</source>
        <translation>%1 antwortet nicht mehr; %2 Weiterleitung(en) warten auf ihn</translation>
    </message>
    <message>
        <source>No UPnP router answered.</source>
        <translation>Kein UPnP-Router hat geantwortet.</translation>
    </message>
    <message>
        <source>The router does not allow this computer to %1 %2. %3The router&apos;s settings may need to allow port sharing for this device.</source>
        <translation>Der Router erlaubt diesem Computer das %1 %2 nicht. %3Möglicherweise müssen Sie in den Einstellungen des Routers Portfreigaben für dieses Gerät erlauben.</translation>
    </message>
    <message>
        <source>these ports</source>
        <translation>dieser Ports</translation>
    </message>
    <message>
        <source>port %1</source>
        <translation>von Port %1</translation>
    </message>
</context>
<context>
    <name>RouterKind</name>
    <message>
        <source>Find it by itself (UPnP, PCP, NAT-PMP)</source>
        <translation>Automatisch finden (UPnP, PCP, NAT-PMP)</translation>
    </message>
    <message>
        <source>Web pages (Linksys-style)</source>
        <translation>Webseiten (Linksys-Art)</translation>
    </message>
    <message>
        <source>PCP (and NAT-PMP)</source>
        <translation>PCP (und NAT-PMP)</translation>
    </message>
</context>
<context>
    <name>Status</name>
    <message>
        <source>Closed</source>
        <translation>Geschlossen</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Offen</translation>
    </message>
    <message>
        <source>Listening</source>
        <translation>Wartet</translation>
    </message>
    <message>
        <source>Connection Pending</source>
        <translation>Verbindung ausstehend</translation>
    </message>
    <message>
        <source>Resolving Host</source>
        <translation>Namensauflösung</translation>
    </message>
    <message>
        <source>Host Resolved</source>
        <translation>Name aufgelöst</translation>
    </message>
    <message>
        <source>Connecting</source>
        <translation>Verbindet</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>Verbunden</translation>
    </message>
    <message>
        <source>No Carrier</source>
        <translation>Keine Verbindung</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Find Router</source>
        <translation>Router suchen</translation>
    </message>
    <message>
        <source>Searching</source>
        <translation>Suche läuft</translation>
    </message>
    <message>
        <source>Completed</source>
        <translation>Erledigt</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Fehlgeschlagen</translation>
    </message>
    <message>
        <source>Cancelled</source>
        <translation>Abgebrochen</translation>
    </message>
    <message>
        <source>Remove Point</source>
        <translation>Weiterleitung entfernen</translation>
    </message>
    <message>
        <source>Renew Points</source>
        <translation>Weiterleitungen erneuern</translation>
    </message>
    <message>
        <source>Clear All Points</source>
        <translation>Alle Weiterleitungen entfernen</translation>
    </message>
    <message>
        <source>Add Points</source>
        <translation>Weiterleitungen anlegen</translation>
    </message>
    <message>
        <source>Query Points</source>
        <translation>Weiterleitungen abfragen</translation>
    </message>
    <message>
        <source>Query DMZ</source>
        <translation>DMZ abfragen</translation>
    </message>
    <message>
        <source>Query Slots</source>
        <translation>Plätze abfragen</translation>
    </message>
    <message>
        <source>Clear DMZ Point</source>
        <translation>DMZ aufheben</translation>
    </message>
    <message>
        <source>Set DMZ Point</source>
        <translation>DMZ setzen</translation>
    </message>
    <message>
        <source>Req Ver</source>
        <translation>Version abfragen</translation>
    </message>
</context>
<context>
    <name>Ufw</name>
    <message>
        <source>cannot tell whether this computer&apos;s firewall (ufw) lets %1 in: its settings cannot be read</source>
        <translation>nicht feststellbar, ob die Firewall dieses Computers (ufw) %1 durchlässt: Ihre Einstellungen lassen sich nicht lesen</translation>
    </message>
    <message>
        <source>this computer&apos;s firewall (ufw) is on and may block %1 — let it in with: %2</source>
        <translation>die Firewall dieses Computers (ufw) ist aktiv und blockiert womöglich %1 – freigeben mit: %2</translation>
    </message>
    <message>
        <source>Harborly does not change ufw from the command line; run: %1</source>
        <translation>Harborly ändert ufw nicht von der Kommandozeile aus; führen Sie aus: %1</translation>
    </message>
    <message>
        <source>ufw was not changed: the password was not given or not accepted</source>
        <translation>ufw wurde nicht geändert: Das Passwort wurde nicht eingegeben oder nicht akzeptiert</translation>
    </message>
    <message>
        <source>ufw was not changed: pkexec is not installed</source>
        <translation>ufw wurde nicht geändert: pkexec ist nicht installiert</translation>
    </message>
    <message>
        <source>ufw was not changed (%1)</source>
        <translation>ufw wurde nicht geändert (%1)</translation>
    </message>
    <message>
        <source>; to do it by hand: %1</source>
        <translation>; von Hand geht es mit: %1</translation>
    </message>
</context>
<context>
    <name>WayIn</name>
    <message>
        <source>Internet</source>
        <translation>Internet</translation>
    </message>
    <message>
        <source>the outside checker reached it</source>
        <translation>die Prüfung von außen hat es erreicht</translation>
    </message>
    <message>
        <source>the outside checker could not reach it</source>
        <translation>die Prüfung von außen konnte es nicht erreichen</translation>
    </message>
    <message>
        <source>ask the provider whether it lets %1 in, and whether the router&apos;s outside address is its own (not shared)</source>
        <translation>Fragen Sie Ihren Anbieter, ob er %1 durchlässt und ob der Router eine eigene äußere Adresse hat (keine geteilte)</translation>
    </message>
    <message>
        <source>the outside checker could not tell (%1)</source>
        <translation>die Prüfung von außen ergab kein Ergebnis (%1)</translation>
    </message>
    <message>
        <source>not looked at from outside: no outside checker is set (CheckUrl)</source>
        <translation>nicht von außen geprüft: Es ist keine Prüfung von außen eingestellt (CheckUrl)</translation>
    </message>
    <message>
        <source>restart the router, then check again; if nothing arrives still, ask the provider whether it lets %1 in</source>
        <translation>Starten Sie den Router neu und prüfen Sie dann erneut; kommt weiterhin nichts an, fragen Sie Ihren Anbieter, ob er %1 durchlässt</translation>
    </message>
    <message>
        <source>Router in front</source>
        <translation>Vorgeschalteter Router</translation>
    </message>
    <message>
        <source>Router in front (%1)</source>
        <translation>Vorgeschalteter Router (%1)</translation>
    </message>
    <message>
        <source>forwarded</source>
        <translation>weitergeleitet</translation>
    </message>
    <message>
        <source>not forwarded</source>
        <translation>nicht weitergeleitet</translation>
    </message>
    <message>
        <source>forward %1 on the router in front to this router</source>
        <translation>Leiten Sie %1 am vorgeschalteten Router an den Router hier weiter</translation>
    </message>
    <message>
        <source>it could not be asked</source>
        <translation>er konnte nicht gefragt werden</translation>
    </message>
    <message>
        <source>Router</source>
        <translation>Router</translation>
    </message>
    <message>
        <source>press Point To Me</source>
        <translation>Klicken Sie auf „Zu mir weiterleiten“</translation>
    </message>
    <message>
        <source>IPv6 pinhole open</source>
        <translation>IPv6-Freigabe offen</translation>
    </message>
    <message>
        <source>the IPv6 pinhole has lapsed</source>
        <translation>die IPv6-Freigabe ist abgelaufen</translation>
    </message>
    <message>
        <source>no IPv6 pinhole open</source>
        <translation>keine IPv6-Freigabe offen</translation>
    </message>
    <message>
        <source>it cannot be asked whether it holds the forward</source>
        <translation>er lässt sich nicht fragen, ob er die Weiterleitung hat</translation>
    </message>
    <message>
        <source>a connection to its outside address was taken by another computer</source>
        <translation>eine Verbindung zu seiner äußeren Adresse wurde von einem anderen Computer angenommen</translation>
    </message>
    <message>
        <source>look in View Points for another forward of %1, then press Point To Me</source>
        <translation>Suchen Sie unter „Weiterleitungen anzeigen“ nach einer anderen Weiterleitung von %1 und klicken Sie dann auf „Zu mir weiterleiten“</translation>
    </message>
    <message>
        <source>, IPv6 pinhole open</source>
        <translation>, IPv6-Freigabe offen</translation>
    </message>
    <message>
        <source>, the IPv6 pinhole has lapsed</source>
        <translation>, die IPv6-Freigabe ist abgelaufen</translation>
    </message>
    <message>
        <source>; a connection to its outside address came back to this computer</source>
        <translation>; eine Verbindung zu seiner äußeren Adresse kam bei diesem Computer an</translation>
    </message>
    <message>
        <source>This computer&apos;s firewall</source>
        <translation>Firewall dieses Computers</translation>
    </message>
    <message>
        <source>lets it in: the outside checker got through</source>
        <translation>lässt es durch: Die Prüfung von außen kam durch</translation>
    </message>
    <message>
        <source>not looked at</source>
        <translation>nicht geprüft</translation>
    </message>
    <message>
        <source>none found that Harborly can read</source>
        <translation>keine gefunden, die Harborly auswerten kann</translation>
    </message>
    <message>
        <source>This computer&apos;s firewall (%1)</source>
        <translation>Firewall dieses Computers (%1)</translation>
    </message>
    <message>
        <source>This computer&apos;s firewall (%1, zone %2)</source>
        <translation>Firewall dieses Computers (%1, Zone %2)</translation>
    </message>
    <message>
        <source>Program</source>
        <translation>Programm</translation>
    </message>
    <message>
        <source>nothing on this computer listens on %1</source>
        <translation>auf diesem Computer lauscht nichts auf %1</translation>
    </message>
    <message>
        <source>start %1</source>
        <translation>Starten Sie %1</translation>
    </message>
    <message>
        <source>listens on %1 only for this computer (%2)</source>
        <translation>lauscht auf %1 nur für diesen Computer (%2)</translation>
    </message>
    <message>
        <source>let %1 listen on all addresses</source>
        <translation>Lassen Sie %1 auf allen Adressen lauschen</translation>
    </message>
    <message>
        <source>listens on %1</source>
        <translation>lauscht auf %1</translation>
    </message>
    <message>
        <source>open</source>
        <translation>offen</translation>
    </message>
    <message>
        <source>blocked</source>
        <translation>blockiert</translation>
    </message>
    <message>
        <source>cannot tell</source>
        <translation>nicht feststellbar</translation>
    </message>
    <message>
        <source>To do: %1</source>
        <translation>Zu tun: %1</translation>
    </message>
</context>
<context>
    <name>WayInView</name>
    <message>
        <source>Way in</source>
        <translation>Weg herein</translation>
    </message>
    <message>
        <source>Way in of %1</source>
        <translation>Weg herein für %1</translation>
    </message>
    <message>
        <source>To do: %1</source>
        <translation>Zu tun: %1</translation>
    </message>
</context>
<context>
    <name>frmAbout</name>
    <message>
        <source>About</source>
        <translation>Über Harborly</translation>
    </message>
    <message>
        <source>Version [beta] </source>
        <translation>Version [Beta] </translation>
    </message>
    <message>
        <source>This application will allow you to easily choose which ports your Linksys DSL/Cable Router will forward to your computer.</source>
        <translation>Mit diesem Programm legen Sie ganz einfach fest, welche Ports Ihr Linksys-DSL-/Kabelrouter an Ihren Computer weiterleitet.</translation>
    </message>
    <message>
        <source>This is a beta product.  The latest and greatest can be found at</source>
        <translation>Dies ist eine Betaversion. Die jeweils neueste Fassung finden Sie unter</translation>
    </message>
    <message>
        <source>Free software: use it, study it, change it and share it.</source>
        <translation>Freie Software: Sie dürfen sie nutzen, untersuchen, ändern und weitergeben.</translation>
    </message>
    <message>
        <source>Written by the Harborly developers.</source>
        <translation>Geschrieben von den Harborly-Entwicklern.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>&amp;System Info...</source>
        <translation>&amp;Systeminformationen …</translation>
    </message>
    <message>
        <source>System Information Is Unavailable At This Time</source>
        <translation>Systeminformationen sind zurzeit nicht verfügbar</translation>
    </message>
    <message>
        <source>Version </source>
        <translation>Version </translation>
    </message>
    <message>
        <source>Harborly forwards the ports of the applications you choose to this computer, on a home router that speaks UPnP IGD, PCP or NAT-PMP, and keeps the forwards alive while it runs.</source>
        <translation>Harborly leitet die Ports der von Ihnen gewählten Anwendungen an einem Heimrouter mit UPnP IGD, PCP oder NAT-PMP an diesen Computer weiter und hält die Weiterleitungen aufrecht, solange es läuft.</translation>
    </message>
    <message>
        <source>How to use it, router by router, is in its help:</source>
        <translation>Wie es mit den einzelnen Routern funktioniert, steht in der Hilfe:</translation>
    </message>
    <message>
        <source>Opens Harborly&apos;s documentation</source>
        <translation>Öffnet die Dokumentation von Harborly</translation>
    </message>
    <message>
        <source>Licensed under the GNU General Public License, version 3 or (at your option) any later version (GPL-3.0-or-later); the libBase64 library under the MIT licence. Harborly comes with no warranty.</source>
        <translation>Lizenziert unter der GNU General Public License, Version 3 oder (nach Ihrer Wahl) jeder späteren Version (GPL-3.0-or-later); die Bibliothek libBase64 unter der MIT-Lizenz. Harborly wird ohne jede Gewährleistung bereitgestellt.</translation>
    </message>
    <message>
        <source>No system information program was found (Harborly looked for %1).</source>
        <translation>Es wurde kein Programm für Systeminformationen gefunden (Harborly hat nach %1 gesucht).</translation>
    </message>
</context>
<context>
    <name>frmCheck</name>
    <message>
        <source>Harborly - Check Points</source>
        <translation>Harborly – Weiterleitungen prüfen</translation>
    </message>
    <message>
        <source>Every port is forwarded and taken here.</source>
        <translation>Jeder Port ist weitergeleitet und wird hier angenommen.</translation>
    </message>
    <message>
        <source>%1 of %2 ports need something; they are marked.</source>
        <translation>%1 von %2 Ports brauchen noch etwas; sie sind markiert.</translation>
    </message>
    <message>
        <source>Application</source>
        <translation>Anwendung</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>What was found</source>
        <translation>Ergebnis</translation>
    </message>
    <message>
        <source>Check results</source>
        <translation>Prüfergebnisse</translation>
    </message>
    <message>
        <source>Ports checked</source>
        <translation>Geprüfte Ports</translation>
    </message>
    <message>
        <source>One row per port; the selected port&apos;s way in is drawn below the table.</source>
        <translation>Eine Zeile je Port; unter der Tabelle ist der Weg herein für den ausgewählten Port gezeichnet.</translation>
    </message>
</context>
<context>
    <name>frmForwards</name>
    <message>
        <source>The router forwards no ports.</source>
        <translation>Der Router leitet keine Ports weiter.</translation>
    </message>
    <message>
        <source>The router forwards 1 port; yours are marked.</source>
        <translation>Der Router leitet 1 Port weiter; Ihre sind markiert.</translation>
    </message>
    <message>
        <source>The router forwards %1 ports; yours are marked.</source>
        <translation>Der Router leitet %1 Ports weiter; Ihre sind markiert.</translation>
    </message>
    <message>
        <source>This computer holds 1 forward on the router.</source>
        <translation>Dieser Computer hat 1 Weiterleitung im Router.</translation>
    </message>
    <message>
        <source>This computer holds %1 forwards on the router.</source>
        <translation>Dieser Computer hat %1 Weiterleitungen im Router.</translation>
    </message>
    <message>
        <source> (this computer)</source>
        <translation> (dieser Computer)</translation>
    </message>
    <message>
        <source>Harborly - Port Forwards</source>
        <translation>Harborly – Portweiterleitungen</translation>
    </message>
    <message>
        <source>Outside port</source>
        <translation>Außenport</translation>
    </message>
    <message>
        <source>Protocol</source>
        <translation>Protokoll</translation>
    </message>
    <message>
        <source>Computer</source>
        <translation>Computer</translation>
    </message>
    <message>
        <source>Inside port</source>
        <translation>Innenport</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Beschreibung</translation>
    </message>
    <message>
        <source>Lapses in</source>
        <translation>Läuft ab in</translation>
    </message>
    <message>
        <source>The router&apos;s port forwards, read-only</source>
        <translation>Die Portweiterleitungen des Routers (nur lesen)</translation>
    </message>
    <message>
        <source>&amp;Remove</source>
        <translation>&amp;Entfernen</translation>
    </message>
    <message>
        <source>Remove the selected forward of this computer</source>
        <translation>Die ausgewählte Weiterleitung dieses Computers entfernen</translation>
    </message>
    <message>
        <source>a program without a description</source>
        <translation>ein Programm ohne Beschreibung</translation>
    </message>
    <message>
        <source>Remove the forward of port %1/%2 to this computer, made for %3? That program may stop being reachable from the Internet.</source>
        <translation>Die Weiterleitung von Port %1/%2 auf diesen Computer entfernen, die für %3 angelegt wurde? Das Programm ist dann womöglich nicht mehr aus dem Internet erreichbar.</translation>
    </message>
    <message>
        <source>Port forwards</source>
        <translation>Portweiterleitungen</translation>
    </message>
</context>
<context>
    <name>frmLogin</name>
    <message>
        <source>Enter Router Password</source>
        <translation>Routerpasswort eingeben</translation>
    </message>
    <message>
        <source>Please type your user name and password.</source>
        <translation>Bitte geben Sie Benutzername und Passwort ein.</translation>
    </message>
    <message>
        <source>LAN side IP address</source>
        <translation>IP-Adresse im LAN</translation>
    </message>
    <message>
        <source>Realm</source>
        <translation>Bereich</translation>
    </message>
    <message>
        <source>Linksys DSL/Cable Routers</source>
        <translation>Linksys-DSL-/Kabelrouter</translation>
    </message>
    <message>
        <source>Generally not used</source>
        <translation>Wird meist nicht benötigt</translation>
    </message>
    <message>
        <source>&amp;User Name:</source>
        <translation>&amp;Benutzername:</translation>
    </message>
    <message>
        <source>Enter password of router</source>
        <translation>Passwort des Routers eingeben</translation>
    </message>
    <message>
        <source>&amp;Password:</source>
        <translation>&amp;Passwort:</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Password entered, continue</source>
        <translation>Passwort eingegeben, weiter</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Abort program</source>
        <translation>Programm beenden</translation>
    </message>
    <message>
        <source>Version of Harborly utility</source>
        <translation>Version von Harborly</translation>
    </message>
    <message>
        <source>HARBORLY DSL/Cable Router Utility [beta] </source>
        <translation>HARBORLY DSL-/Kabelrouter-Werkzeug [Beta] </translation>
    </message>
    <message>
        <source>Harborly Password</source>
        <translation>Harborly-Passwort</translation>
    </message>
    <message>
        <source>Type the password that guards Harborly.</source>
        <translation>Geben Sie das Passwort ein, das Harborly schützt.</translation>
    </message>
    <message>
        <source>The router&apos;s address</source>
        <translation>Die Adresse des Routers</translation>
    </message>
    <message>
        <source>The password set in Edit Router Settings</source>
        <translation>Das unter „Routereinstellungen bearbeiten“ festgelegte Passwort</translation>
    </message>
    <message>
        <source>Wrong password.<byte value="xd"/>Check your Caps Lock key and try again.</source>
        <translation>Falsches Passwort.<byte value="xd"/>Prüfen Sie die Feststelltaste und versuchen Sie es erneut.</translation>
    </message>
    <message>
        <source>Invalid user name or password.<byte value="xd"/>Check your Caps Lock key and try again.</source>
        <translation>Benutzername oder Passwort ist ungültig.<byte value="xd"/>Prüfen Sie die Feststelltaste und versuchen Sie es erneut.</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Site:</source>
        <translation>Adresse:</translation>
    </message>
</context>
<context>
    <name>frmMain</name>
    <message>
        <source>The Harborly program is already running.<byte value="xd"/>Double click the Harborly icon in the taskbar to get focus.</source>
        <translation>Harborly läuft bereits.<byte value="xd"/>Doppelklicken Sie auf das Harborly-Symbol in der Taskleiste, um es in den Vordergrund zu holen.</translation>
    </message>
    <message>
        <source>Show router&apos;s port forwarding screen</source>
        <translation>Die Portweiterleitungsseite des Routers anzeigen</translation>
    </message>
    <message>
        <source>Show the router&apos;s list of port forwards</source>
        <translation>Die Liste der Portweiterleitungen des Routers anzeigen</translation>
    </message>
    <message>
        <source>Harborly.ini names a router kind that Harborly does not know: &quot;%1&quot;<byte value="xd"/>Use Edit Router Settings to choose one.</source>
        <translation>Harborly.ini nennt eine Routerart, die Harborly nicht kennt: „%1“<byte value="xd"/>Wählen Sie unter „Routereinstellungen bearbeiten“ eine aus.</translation>
    </message>
    <message>
        <source>Harborly is waiting for the router.
Cancel the operation and close Harborly?</source>
        <translation>Harborly wartet auf den Router.
Den Vorgang abbrechen und Harborly schließen?</translation>
    </message>
    <message>
        <source>Cancel and Close</source>
        <translation>Abbrechen und schließen</translation>
    </message>
    <message>
        <source>Keep Waiting</source>
        <translation>Weiter warten</translation>
    </message>
    <message>
        <source>the default gateway</source>
        <translation>Standard-Gateway</translation>
    </message>
    <message>
        <source>Nothing answered at %1.</source>
        <translation>Keine Antwort (Adresse: %1).</translation>
    </message>
    <message>
        <source>The router at %1 answered but did not show its status: it refused the password, or it is not a router of this kind.</source>
        <translation>Der Router (%1) hat geantwortet, aber seinen Status nicht gezeigt: Er hat das Passwort abgelehnt, oder er ist kein Router dieser Art.</translation>
    </message>
    <message>
        <source>Edit Router Settings...</source>
        <translation>Routereinstellungen bearbeiten …</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Unbekannt</translation>
    </message>
    <message>
        <source>… and %1 more in the activity log</source>
        <translation>… und %1 weitere im Aktivitätsprotokoll</translation>
    </message>
    <message>
        <source>Every port just forwarded is taken by a program on this computer</source>
        <translation>Jeder eben weitergeleitete Port wird von einem Programm auf diesem Computer angenommen</translation>
    </message>
    <message>
        <source>Choose the applications to check, or point some first</source>
        <translation>Wählen Sie die zu prüfenden Anwendungen aus oder leiten Sie zuerst welche weiter</translation>
    </message>
    <message>
        <source>Indicators</source>
        <translation>Verbindung</translation>
    </message>
    <message>
        <source>Internet side IP</source>
        <translation>IP-Adresse zum Internet hin</translation>
    </message>
    <message>
        <source>Intranet side IP</source>
        <translation>IP-Adresse im Heimnetz</translation>
    </message>
    <message>
        <source>Activity information</source>
        <translation>Aktueller Vorgang</translation>
    </message>
    <message>
        <source>Communication indicator</source>
        <translation>Kommunikationsanzeige</translation>
    </message>
    <message>
        <source>WAN Public IP Address</source>
        <translation>Öffentliche IP-Adresse (WAN)</translation>
    </message>
    <message>
        <source>LAN Private IP Address</source>
        <translation>Private IP-Adresse (LAN)</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Send / Receive</source>
        <translation>Senden/Empfangen</translation>
    </message>
    <message>
        <source>Applications</source>
        <translation>Anwendungen</translation>
    </message>
    <message>
        <source>Select applications to forward</source>
        <translation>Anwendungen zum Weiterleiten auswählen</translation>
    </message>
    <message>
        <source>&amp;Point To Me</source>
        <translation>&amp;Zu mir weiterleiten</translation>
    </message>
    <message>
        <source>Forward highlighted application&apos;s ports to my computer</source>
        <translation>Die Ports der markierten Anwendungen an meinen Computer weiterleiten</translation>
    </message>
    <message>
        <source>&amp;Clear All Points</source>
        <translation>Alle &amp;entfernen</translation>
    </message>
    <message>
        <source>Removes port forwarding to all computers</source>
        <translation>Entfernt die Portweiterleitungen zu allen Computern</translation>
    </message>
    <message>
        <source>&amp;Select All</source>
        <translation>Alle &amp;auswählen</translation>
    </message>
    <message>
        <source>Highlights all application</source>
        <translation>Markiert alle Anwendungen</translation>
    </message>
    <message>
        <source>&amp;Deselect All</source>
        <translation>Auswahl au&amp;fheben</translation>
    </message>
    <message>
        <source>Removes all applicaton highlighting</source>
        <translation>Hebt die Markierung aller Anwendungen auf</translation>
    </message>
    <message>
        <source>&amp;View Points</source>
        <translation>&amp;Weiterleitungen anzeigen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Ends the operation after the exchange under way (Esc)</source>
        <translation>Beendet den Vorgang nach dem laufenden Austausch (Esc)</translation>
    </message>
    <message>
        <source>Version of router&apos;s firmware</source>
        <translation>Firmware-Version des Routers</translation>
    </message>
    <message>
        <source>&amp;Configuration</source>
        <translation>&amp;Konfiguration</translation>
    </message>
    <message>
        <source>Edit &amp;Applications</source>
        <translation>&amp;Anwendungen bearbeiten</translation>
    </message>
    <message>
        <source>Edit &amp;Router Settings...</source>
        <translation>&amp;Routereinstellungen bearbeiten …</translation>
    </message>
    <message>
        <source>&amp;Check Points</source>
        <translation>Weiterleitungen &amp;prüfen</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;DMZ</source>
        <translation>&amp;DMZ</translation>
    </message>
    <message>
        <source>&amp;Harborly</source>
        <translation>&amp;Harborly</translation>
    </message>
    <message>
        <source>&amp;Clear Point</source>
        <translation>DMZ &amp;aufheben</translation>
    </message>
    <message>
        <source>&amp;View Point</source>
        <translation>DMZ a&amp;nzeigen</translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation>Ü&amp;ber</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>Point To Me</source>
        <translation>Zu mir weiterleiten</translation>
    </message>
    <message>
        <source>Clear All Points</source>
        <translation>Alle Weiterleitungen entfernen</translation>
    </message>
    <message>
        <source>No text editor was found to open %1.<byte value="xd"/>Harborly looked for: %2.<byte value="xd"/>Install one of them, or open the file in an editor of your own; changes count at the next start.</source>
        <translation>Es wurde kein Texteditor gefunden, um %1 zu öffnen.<byte value="xd"/>Harborly hat gesucht nach: %2.<byte value="xd"/>Installieren Sie einen davon oder öffnen Sie die Datei mit einem eigenen Editor; Änderungen gelten ab dem nächsten Start.</translation>
    </message>
    <message>
        <source>The forwards were made, but they cannot reach this computer from the Internet:<byte value="xd"/></source>
        <translation>Die Weiterleitungen wurden angelegt, können diesen Computer aber nicht aus dem Internet erreichen:<byte value="xd"/></translation>
    </message>
    <message>
        <source>1 IPv6 port opened</source>
        <translation>1 IPv6-Port geöffnet</translation>
    </message>
    <message>
        <source>%1 IPv6 ports opened</source>
        <translation>%1 IPv6-Ports geöffnet</translation>
    </message>
    <message>
        <source>1 forward made</source>
        <translation>1 Weiterleitung angelegt</translation>
    </message>
    <message>
        <source>%1 forwards made</source>
        <translation>%1 Weiterleitungen angelegt</translation>
    </message>
    <message>
        <source>All forwards removed</source>
        <translation>Alle Weiterleitungen entfernt</translation>
    </message>
    <message>
        <source>No forward to remove</source>
        <translation>Keine Weiterleitung zu entfernen</translation>
    </message>
    <message>
        <source>The 1 forward removed</source>
        <translation>Die eine Weiterleitung wurde entfernt</translation>
    </message>
    <message>
        <source>All %1 forwards removed</source>
        <translation>Alle %1 Weiterleitungen entfernt</translation>
    </message>
    <message>
        <source>Harborly DSL/Cable Router Utility</source>
        <translation>Harborly – Werkzeug für DSL-/Kabelrouter</translation>
    </message>
    <message>
        <source>Harborly: forwards ports of chosen applications to this computer</source>
        <translation>Harborly: leitet die Ports ausgewählter Anwendungen an diesen Computer weiter</translation>
    </message>
    <message>
        <source>Router not answering</source>
        <translation>Router antwortet nicht</translation>
    </message>
    <message>
        <source>Waiting for the router</source>
        <translation>Warte auf den Router</translation>
    </message>
    <message>
        <source>Forward %1 of %2</source>
        <translation>Weiterleitung %1 von %2</translation>
    </message>
    <message>
        <source>Router back</source>
        <translation>Router wieder da</translation>
    </message>
    <message>
        <source>The router stopped answering at %1</source>
        <translation>Der Router antwortet seit %1 nicht mehr</translation>
    </message>
    <message>
        <source>This computer&apos;s address toward the router at %1</source>
        <translation>Die Adresse dieses Computers zum Router (%1) hin</translation>
    </message>
    <message>
        <source>The router at %1</source>
        <translation>Der Router (%1)</translation>
    </message>
    <message>
        <source>No ports</source>
        <translation>Keine Ports</translation>
    </message>
    <message>
        <source>Ports: </source>
        <translation>Ports: </translation>
    </message>
    <message>
        <source>Forwards on this router cannot reach this computer from the Internet</source>
        <translation>Weiterleitungen an diesem Router können diesen Computer nicht aus dem Internet erreichen</translation>
    </message>
    <message>
        <source>Harborly is already running.<byte value="xd"/>Click its icon in the system tray to bring its window forward.</source>
        <translation>Harborly läuft bereits.<byte value="xd"/>Klicken Sie auf das Harborly-Symbol im Infobereich der Kontrollleiste, um das Fenster in den Vordergrund zu holen.</translation>
    </message>
    <message>
        <source>Harborly found no router at %1 (router kind: %2).
%3

Change the router&apos;s kind, address or password?</source>
        <translation>Harborly hat unter %1 keinen Router gefunden (Routerart: %2).
%3

Routerart, Adresse oder Passwort des Routers ändern?</translation>
    </message>
    <message>
        <source>Harborly holds 1 forward made with the router settings used until now; with the new settings the window no longer reaches it.
Remove it from the router now, or leave it to lapse?</source>
        <translation>Harborly hat 1 Weiterleitung, die mit den bisherigen Routereinstellungen angelegt wurde; mit den neuen Einstellungen erreicht das Fenster sie nicht mehr.
Sie jetzt aus dem Router entfernen oder ablaufen lassen?</translation>
    </message>
    <message>
        <source>Harborly holds %1 forwards made with the router settings used until now; with the new settings the window no longer reaches them.
Remove them from the router now, or leave them to lapse?</source>
        <translation>Harborly hat %1 Weiterleitungen, die mit den bisherigen Routereinstellungen angelegt wurden; mit den neuen Einstellungen erreicht das Fenster sie nicht mehr.
Sie jetzt aus dem Router entfernen oder ablaufen lassen?</translation>
    </message>
    <message>
        <source>Remove Now</source>
        <translation>Jetzt entfernen</translation>
    </message>
    <message>
        <source>Leave Them</source>
        <translation>Ablaufen lassen</translation>
    </message>
    <message>
        <source>%1 forward(s) of the earlier router settings left to lapse; setting them back keeps them again.</source>
        <translation>%1 Weiterleitung(en) der bisherigen Routereinstellungen laufen ab; mit den alten Einstellungen werden sie wieder aufrechterhalten.</translation>
    </message>
    <message>
        <source>The port checked is forwarded and taken here — Show</source>
        <translation>Der geprüfte Port ist weitergeleitet und wird hier angenommen – Anzeigen</translation>
    </message>
    <message>
        <source>All %1 ports checked are forwarded and taken here — Show</source>
        <translation>Alle %1 geprüften Ports sind weitergeleitet und werden hier angenommen – Anzeigen</translation>
    </message>
    <message>
        <source>The port checked needs something — Show</source>
        <translation>Der geprüfte Port braucht noch etwas – Anzeigen</translation>
    </message>
    <message>
        <source>1 of %1 ports needs something — Show</source>
        <translation>1 von %1 Ports braucht noch etwas – Anzeigen</translation>
    </message>
    <message>
        <source>%1 of %2 ports need something — Show</source>
        <translation>%1 von %2 Ports brauchen noch etwas – Anzeigen</translation>
    </message>
    <message>
        <source>Check results</source>
        <translation>Prüfergebnisse</translation>
    </message>
    <message>
        <source>Opens Check Points with the last check&apos;s results</source>
        <translation>Öffnet „Weiterleitungen prüfen“ mit den Ergebnissen der letzten Prüfung</translation>
    </message>
    <message>
        <source>Activity &amp;Log</source>
        <translation>A&amp;ktivitätsprotokoll</translation>
    </message>
    <message>
        <source>%1 and %2 made</source>
        <translation>%1 und %2 angelegt</translation>
    </message>
    <message>
        <source>1 forward</source>
        <translation>1 Weiterleitung</translation>
    </message>
    <message>
        <source>%1 forwards</source>
        <translation>%1 Weiterleitungen</translation>
    </message>
    <message>
        <source>1 IPv6 pinhole</source>
        <translation>1 IPv6-Freigabe</translation>
    </message>
    <message>
        <source>%1 IPv6 pinholes</source>
        <translation>%1 IPv6-Freigaben</translation>
    </message>
    <message>
        <source>%1 removed</source>
        <translation>%1 entfernt</translation>
    </message>
    <message>
        <source>%1 and %2 removed</source>
        <translation>%1 und %2 entfernt</translation>
    </message>
    <message>
        <source>Harborly keeps 1 forward open from here; it lapses when Harborly quits.</source>
        <translation>Harborly hält von hier aus 1 Weiterleitung offen; sie läuft ab, wenn Harborly beendet wird.</translation>
    </message>
    <message>
        <source>Harborly keeps %1 forwards open from here; they lapse when Harborly quits.</source>
        <translation>Harborly hält von hier aus %1 Weiterleitungen offen; sie laufen ab, wenn Harborly beendet wird.</translation>
    </message>
    <message>
        <source>Harborly keeps 1 forward open; it lapses when Harborly quits.
Quit anyway?</source>
        <translation>Harborly hält 1 Weiterleitung offen; sie läuft ab, wenn Harborly beendet wird.
Trotzdem beenden?</translation>
    </message>
    <message>
        <source>Harborly keeps %1 forwards open; they lapse when Harborly quits.
Quit anyway?</source>
        <translation>Harborly hält %1 Weiterleitungen offen; sie laufen ab, wenn Harborly beendet wird.
Trotzdem beenden?</translation>
    </message>
    <message>
        <source>Keep Running</source>
        <translation>Weiterlaufen lassen</translation>
    </message>
    <message>
        <source>Show/Hide</source>
        <translation>Anzeigen/Ausblenden</translation>
    </message>
</context>
<context>
    <name>frmSettings</name>
    <message>
        <source>A password is required to communicate with your router</source>
        <translation>Für die Verbindung mit Ihrem Router ist ein Passwort nötig</translation>
    </message>
    <message>
        <source>Edit Router Configuration</source>
        <translation>Routerkonfiguration bearbeiten</translation>
    </message>
    <message>
        <source>Enter your router&apos;s LAN side IP address</source>
        <translation>Geben Sie die IP-Adresse Ihres Routers im LAN ein</translation>
    </message>
    <message>
        <source>LAN Private IP Address</source>
        <translation>Private IP-Adresse (LAN)</translation>
    </message>
    <message>
        <source>How Harborly talks to your router</source>
        <translation>Wie Harborly mit Ihrem Router spricht</translation>
    </message>
    <message>
        <source>Router kind</source>
        <translation>Routerart</translation>
    </message>
    <message>
        <source>Enter your router&apos;s password</source>
        <translation>Geben Sie das Passwort Ihres Routers ein</translation>
    </message>
    <message>
        <source>Re-enter to confirm</source>
        <translation>Zur Bestätigung wiederholen</translation>
    </message>
    <message>
        <source>Require user to log in?</source>
        <translation>Anmeldung verlangen?</translation>
    </message>
    <message>
        <source>&amp;Save</source>
        <translation>&amp;Speichern</translation>
    </message>
    <message>
        <source>Writes your password to disk</source>
        <translation>Speichert Ihr Passwort auf der Festplatte</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
    <message>
        <source>Aborts configuring your password</source>
        <translation>Bricht das Festlegen des Passworts ab</translation>
    </message>
    <message>
        <source>Edit Router Settings</source>
        <translation>Routereinstellungen bearbeiten</translation>
    </message>
    <message>
        <source>Optional: a password that guards Harborly&apos;s own login</source>
        <translation>Optional: ein Passwort, das die Anmeldung bei Harborly selbst schützt</translation>
    </message>
    <message>
        <source>The router&apos;s address (host, host:port or [IPv6]:port); empty: the default gateway, IPv4 or else IPv6</source>
        <translation>Die Adresse des Routers (Host, Host:Port oder [IPv6]:Port); leer: das Standard-Gateway, IPv4, sonst IPv6</translation>
    </message>
    <message>
        <source>Login password (optional)</source>
        <translation>Anmeldepasswort (optional)</translation>
    </message>
    <message>
        <source>This program requires your router password</source>
        <translation>Dieses Programm benötigt Ihr Routerpasswort</translation>
    </message>
    <message>
        <source>Password don&apos;t match!</source>
        <translation>Die Passwörter stimmen nicht überein!</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>HARBORLY.INI entries not written<byte value="xd"/></source>
        <translation>Einträge in HARBORLY.INI nicht geschrieben<byte value="xd"/></translation>
    </message>
    <message>
        <source>Start Harborly when I &amp;log in</source>
        <translation>Harborly beim A&amp;nmelden starten</translation>
    </message>
    <message>
        <source>Starts Harborly in the tray when you log in, so that it keeps its forwards alive</source>
        <translation>Startet Harborly beim Anmelden im Infobereich, damit es seine Weiterleitungen aufrechterhält</translation>
    </message>
    <message>
        <source>The login start could not be written to %1.</source>
        <translation>Der Autostart-Eintrag konnte nicht in %1 geschrieben werden.</translation>
    </message>
    <message>
        <source>The login start %1 could not be removed.</source>
        <translation>Der Autostart-Eintrag %1 konnte nicht entfernt werden.</translation>
    </message>
</context>
</TS>
