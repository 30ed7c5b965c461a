<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en">
<context>
    <name>AutostartEntry</name>
    <message>
        <source>Torvane could not remove %1: %2.</source>
        <translation>Torvane konnte %1 nicht entfernen: %2.</translation>
    </message>
    <message>
        <source>Torvane could not create %1: %2.</source>
        <translation>Torvane konnte %1 nicht anlegen: %2.</translation>
    </message>
    <message>
        <source>Torvane could not write %1: %2.</source>
        <translation>Torvane konnte %1 nicht schreiben: %2.</translation>
    </message>
</context>
<context>
    <name>EditorAlerts</name>
    <message>
        <source>Couldn’t Save Secrets</source>
        <translation>Zugangsdaten konnten nicht gespeichert werden</translation>
    </message>
    <message>
        <source>Couldn’t Export Profile</source>
        <translation>Profil konnte nicht exportiert werden</translation>
    </message>
    <message>
        <source>Couldn’t Import File</source>
        <translation>Datei konnte nicht importiert werden</translation>
    </message>
    <message>
        <source>The password and keys couldn’t be saved to your keyring (it may be locked). Unlock your keyring and Save again.</source>
        <translation>Passwort und Schlüssel konnten nicht in Ihrem Schlüsselbund gespeichert werden (er ist möglicherweise gesperrt). Entsperren Sie den Schlüsselbund und speichern Sie erneut.</translation>
    </message>
</context>
<context>
    <name>ExportFile</name>
    <message>
        <source>This profile file uses a newer format (version %1) than this app understands.</source>
        <translation>Diese Profildatei hat ein neueres Format (Version %1), als diese Anwendung lesen kann.</translation>
    </message>
    <message>
        <source>This isn’t a Torvane profile file.</source>
        <translation>Dies ist keine Torvane-Profildatei.</translation>
    </message>
    <message>
        <source>The profile file is damaged or incomplete.</source>
        <translation>Die Profildatei ist beschädigt oder unvollständig.</translation>
    </message>
    <message>
        <source>Incorrect passphrase, or the file was changed after it was exported — the secrets couldn’t be decrypted.</source>
        <translation>Falsche Passphrase, oder die Datei wurde nach dem Export verändert – die Zugangsdaten konnten nicht entschlüsselt werden.</translation>
    </message>
    <message>
        <source>Incorrect passphrase — the secrets couldn’t be decrypted.</source>
        <translation>Falsche Passphrase – die Zugangsdaten konnten nicht entschlüsselt werden.</translation>
    </message>
    <message>
        <source>Could not derive the encryption key from the passphrase.</source>
        <translation>Der Schlüssel konnte nicht aus der Passphrase abgeleitet werden.</translation>
    </message>
    <message>
        <source>Could not generate secure random data for encryption.</source>
        <translation>Es konnten keine sicheren Zufallsdaten für die Verschlüsselung erzeugt werden.</translation>
    </message>
    <message>
        <source>This profile file protects its secrets with a method this app doesn’t support.</source>
        <translation>Diese Profildatei schützt ihre Zugangsdaten mit einem Verfahren, das diese Anwendung nicht unterstützt.</translation>
    </message>
</context>
<context>
    <name>ExportFlow</name>
    <message>
        <source>Export Profile</source>
        <translation>Profil exportieren</translation>
    </message>
    <message>
        <source>Torvane profile (*.torvane)</source>
        <translation>Torvane-Profil (*.torvane)</translation>
    </message>
</context>
<context>
    <name>PasswordPrompt</name>
    <message>
        <source>Pre-shared Key</source>
        <translation>Pre-Shared Key</translation>
    </message>
    <message>
        <source>EAP Password</source>
        <translation>EAP-Passwort</translation>
    </message>
    <message>
        <source>XAuth Password</source>
        <translation>XAuth-Passwort</translation>
    </message>
</context>
<context>
    <name>ProfileImport</name>
    <message>
        <source>signed by %1, trusted</source>
        <translation>signiert von %1, vertrauenswürdig</translation>
    </message>
    <message>
        <source>signed by %1, not trusted</source>
        <translation>signiert von %1, nicht vertrauenswürdig</translation>
    </message>
    <message>
        <source>not signed</source>
        <translation>nicht signiert</translation>
    </message>
    <message>
        <source>This describes the file or payload, not the connection.</source>
        <translation>Dies beschreibt die Datei oder den Payload, nicht die Verbindung.</translation>
    </message>
    <message>
        <source>strongSwan&apos;s own dead-peer detection applies in Torvane.</source>
        <translation>In Torvane gilt die Dead-Peer-Erkennung von strongSwan.</translation>
    </message>
    <message>
        <source>Torvane leaves MOBIKE to strongSwan&apos;s default.</source>
        <translation>Torvane überlässt MOBIKE der Voreinstellung von strongSwan.</translation>
    </message>
    <message>
        <source>Torvane leaves gateway redirects to strongSwan&apos;s default.</source>
        <translation>Torvane überlässt Umleitungen durch das Gateway der Voreinstellung von strongSwan.</translation>
    </message>
    <message>
        <source>Torvane uses strongSwan&apos;s NAT keepalive interval (20 seconds).</source>
        <translation>Torvane verwendet das NAT-Keepalive-Intervall von strongSwan (20 Sekunden).</translation>
    </message>
    <message>
        <source>Torvane uses strongSwan&apos;s NAT keepalive.</source>
        <translation>Torvane verwendet das NAT-Keepalive von strongSwan.</translation>
    </message>
    <message>
        <source>Use Torvane&apos;s kill switch to keep traffic from leaving outside the tunnel.</source>
        <translation>Verwenden Sie den Kill-Switch von Torvane, damit kein Datenverkehr am Tunnel vorbei hinausgeht.</translation>
    </message>
    <message>
        <source>Torvane cannot keep the local network outside a tunnel.</source>
        <translation>Torvane kann das lokale Netzwerk nicht aus einem Tunnel ausnehmen.</translation>
    </message>
    <message>
        <source>Torvane connects when you ask, or at start-up if you choose so.</source>
        <translation>Torvane verbindet sich, wenn Sie es verlangen, oder beim Start, wenn Sie das einstellen.</translation>
    </message>
    <message>
        <source>Torvane checks the gateway against the CA certificate and its identity instead.</source>
        <translation>Torvane prüft das Gateway stattdessen anhand des CA-Zertifikats und seiner Identität.</translation>
    </message>
    <message>
        <source>Torvane checks revocation the way strongSwan does by default.</source>
        <translation>Torvane prüft Zertifikatssperrungen so, wie strongSwan es standardmäßig tut.</translation>
    </message>
    <message>
        <source>Torvane routes by the traffic selectors and its routes list.</source>
        <translation>Torvane leitet nach den Traffic-Selektoren und seiner Routenliste weiter.</translation>
    </message>
    <message>
        <source>Torvane does not switch to another network while connected.</source>
        <translation>Torvane wechselt während einer Verbindung nicht in ein anderes Netzwerk.</translation>
    </message>
    <message>
        <source>Torvane leaves the tunnel&apos;s MTU to the system.</source>
        <translation>Torvane überlässt die MTU des Tunnels dem System.</translation>
    </message>
    <message>
        <source>Torvane does not use smart-card PINs.</source>
        <translation>Torvane verwendet keine Smartcard-PINs.</translation>
    </message>
    <message>
        <source>Torvane stays connected until you disconnect.</source>
        <translation>Torvane bleibt verbunden, bis Sie die Verbindung trennen.</translation>
    </message>
    <message>
        <source>Torvane sends every DNS query to the tunnel&apos;s servers, not only those of some domains.</source>
        <translation>Torvane sendet jede DNS-Anfrage an die Server des Tunnels, nicht nur die für bestimmte Domains.</translation>
    </message>
    <message>
        <source>Torvane connects with its own IPsec client, not with an app.</source>
        <translation>Torvane verbindet sich mit seinem eigenen IPsec-Client, nicht über eine App.</translation>
    </message>
    <message>
        <source>Torvane does not set proxies.</source>
        <translation>Torvane richtet keine Proxys ein.</translation>
    </message>
    <message>
        <source>Torvane connects when you ask.</source>
        <translation>Torvane verbindet sich, wenn Sie es verlangen.</translation>
    </message>
    <message>
        <source>Torvane does not know this setting.</source>
        <translation>Torvane kennt diese Einstellung nicht.</translation>
    </message>
    <message>
        <source>strongSwan no longer offers this cipher; Torvane&apos;s default proposal is kept.</source>
        <translation>strongSwan bietet diese Verschlüsselung nicht mehr an; der Standardvorschlag von Torvane bleibt erhalten.</translation>
    </message>
    <message>
        <source>This integrity algorithm is unknown; Torvane&apos;s default proposal is kept.</source>
        <translation>Dieser Integritätsalgorithmus ist unbekannt; der Standardvorschlag von Torvane bleibt erhalten.</translation>
    </message>
    <message>
        <source>This Diffie-Hellman group is unknown; Torvane&apos;s default proposal is kept.</source>
        <translation>Diese Diffie-Hellman-Gruppe ist unbekannt; der Standardvorschlag von Torvane bleibt erhalten.</translation>
    </message>
    <message>
        <source>This is not a lifetime between one minute and a week.</source>
        <translation>Dies ist keine Lebensdauer zwischen einer Minute und einer Woche.</translation>
    </message>
    <message>
        <source>The profile &quot;%1&quot; refers to a client certificate the file does not hold.</source>
        <translation>Das Profil „%1“ verweist auf ein Client-Zertifikat, das die Datei nicht enthält.</translation>
    </message>
    <message>
        <source>The client certificate of &quot;%1&quot; is damaged.</source>
        <translation>Das Client-Zertifikat von „%1“ ist beschädigt.</translation>
    </message>
    <message>
        <source>client certificate of &quot;%1&quot;</source>
        <translation>Client-Zertifikat von „%1“</translation>
    </message>
    <message>
        <source>%1 (private key)</source>
        <translation>%1 (privater Schlüssel)</translation>
    </message>
    <message>
        <source>The VPN &quot;%1&quot; is of type &quot;%2&quot;; Torvane connects with IKEv2 or IPsec (IKEv1) only.</source>
        <translation>Das VPN „%1“ ist vom Typ „%2“; Torvane verbindet sich nur über IKEv2 oder IPsec (IKEv1).</translation>
    </message>
    <message>
        <source>The VPN &quot;%1&quot; has no %2 settings.</source>
        <translation>Das VPN „%1“ hat keine %2-Einstellungen.</translation>
    </message>
    <message>
        <source>The VPN &quot;%1&quot; names no gateway.</source>
        <translation>Das VPN „%1“ nennt kein Gateway.</translation>
    </message>
    <message>
        <source>The VPN &quot;%1&quot; authenticates with a certificate but the file holds none for it.</source>
        <translation>Das VPN „%1“ authentifiziert sich mit einem Zertifikat, aber die Datei enthält keines dafür.</translation>
    </message>
    <message>
        <source>With EAP-TLS this computer proves itself with its certificate, not with a user name and password.</source>
        <translation>Bei EAP-TLS weist sich dieser Computer mit seinem Zertifikat aus, nicht mit Benutzername und Passwort.</translation>
    </message>
    <message>
        <source>With EAP the gateway proves itself with its certificate in Torvane, not with a shared secret.</source>
        <translation>Bei EAP weist sich das Gateway in Torvane mit seinem Zertifikat aus, nicht mit einem gemeinsamen Schlüssel.</translation>
    </message>
    <message>
        <source>The VPN &quot;%1&quot; has no way for this computer to authenticate.</source>
        <translation>Das VPN „%1“ bietet diesem Computer keine Möglichkeit, sich zu authentifizieren.</translation>
    </message>
    <message>
        <source>Torvane cannot add XAuth to a group pre-shared key; the profile uses the group key alone, which a gateway that asks for XAuth will refuse.</source>
        <translation>Torvane kann XAuth nicht mit einem Gruppen-Pre-Shared-Key verbinden; das Profil verwendet nur den Gruppenschlüssel, den ein Gateway, das XAuth verlangt, ablehnen wird.</translation>
    </message>
    <message>
        <source>(certificate payload)</source>
        <translation>(Zertifikat-Payload)</translation>
    </message>
    <message>
        <source>The file is not a configuration profile: it lists no payloads.</source>
        <translation>Die Datei ist kein Konfigurationsprofil: Sie führt keine Payloads auf.</translation>
    </message>
    <message>
        <source>This certificate is damaged.</source>
        <translation>Dieses Zertifikat ist beschädigt.</translation>
    </message>
    <message>
        <source>Torvane keeps one CA certificate per profile, the file&apos;s first.</source>
        <translation>Torvane übernimmt ein CA-Zertifikat pro Profil, das erste der Datei.</translation>
    </message>
    <message>
        <source>Torvane imports only VPN settings from this file.</source>
        <translation>Torvane importiert aus dieser Datei nur VPN-Einstellungen.</translation>
    </message>
    <message>
        <source>No imported VPN uses this certificate, so it was not opened.</source>
        <translation>Kein importiertes VPN verwendet dieses Zertifikat, daher wurde es nicht geöffnet.</translation>
    </message>
    <message>
        <source>The file holds no VPN settings to import.</source>
        <translation>Die Datei enthält keine VPN-Einstellungen, die sich importieren lassen.</translation>
    </message>
    <message>
        <source>The %1 is not a PKCS#12 file.</source>
        <translation>Das %1 ist keine PKCS#12-Datei.</translation>
    </message>
    <message>
        <source>The password of the %1 was not given.</source>
        <translation>Das Passwort für das %1 wurde nicht eingegeben.</translation>
    </message>
    <message>
        <source>The %1 could not be opened: it holds no certificate with its private key, or uses a cipher OpenSSL does not offer.</source>
        <translation>Das %1 ließ sich nicht öffnen: Es enthält kein Zertifikat mit privatem Schlüssel oder verwendet eine Verschlüsselung, die OpenSSL nicht anbietet.</translation>
    </message>
    <message>
        <source>the binary property list is truncated</source>
        <translation>die binäre Property-List ist abgeschnitten</translation>
    </message>
    <message>
        <source>the binary property list has an invalid trailer</source>
        <translation>die binäre Property-List hat einen ungültigen Trailer</translation>
    </message>
    <message>
        <source>the binary property list has a malformed length</source>
        <translation>die binäre Property-List enthält eine fehlerhafte Längenangabe</translation>
    </message>
    <message>
        <source>the property list nests deeper than %1 levels</source>
        <translation>die Property-List ist tiefer als %1 Ebenen verschachtelt</translation>
    </message>
    <message>
        <source>the property list holds more than %1 values</source>
        <translation>die Property-List enthält mehr als %1 Werte</translation>
    </message>
    <message>
        <source>the binary property list points outside its objects</source>
        <translation>die binäre Property-List verweist außerhalb ihrer Objekte</translation>
    </message>
    <message>
        <source>the binary property list holds a null value</source>
        <translation>die binäre Property-List enthält einen Nullwert</translation>
    </message>
    <message>
        <source>the binary property list holds an integer wider than 64 bits</source>
        <translation>die binäre Property-List enthält eine Ganzzahl mit mehr als 64 Bit</translation>
    </message>
    <message>
        <source>the binary property list holds a malformed real number</source>
        <translation>die binäre Property-List enthält eine fehlerhafte Gleitkommazahl</translation>
    </message>
    <message>
        <source>the binary property list holds a malformed date</source>
        <translation>die binäre Property-List enthält ein fehlerhaftes Datum</translation>
    </message>
    <message>
        <source>the binary property list holds an overlong string</source>
        <translation>die binäre Property-List enthält eine überlange Zeichenkette</translation>
    </message>
    <message>
        <source>the binary property list holds a non-ASCII ASCII string</source>
        <translation>die binäre Property-List enthält eine ASCII-Zeichenkette mit Nicht-ASCII-Zeichen</translation>
    </message>
    <message>
        <source>the binary property list holds an overlong container</source>
        <translation>die binäre Property-List enthält einen überlangen Container</translation>
    </message>
    <message>
        <source>the binary property list refers to a missing object</source>
        <translation>die binäre Property-List verweist auf ein fehlendes Objekt</translation>
    </message>
    <message>
        <source>a dictionary of the binary property list has a key that is not a string</source>
        <translation>ein Dictionary der binären Property-List hat einen Schlüssel, der keine Zeichenkette ist</translation>
    </message>
    <message>
        <source>a dictionary of the property list repeats a key</source>
        <translation>ein Dictionary der Property-List wiederholt einen Schlüssel</translation>
    </message>
    <message>
        <source>the binary property list holds a kind of value profiles do not use</source>
        <translation>die binäre Property-List enthält eine Art von Wert, die Profile nicht verwenden</translation>
    </message>
    <message>
        <source>the property list has no &lt;plist&gt; element</source>
        <translation>die Property-List hat kein &lt;plist&gt;-Element</translation>
    </message>
    <message>
        <source>the property list is empty</source>
        <translation>die Property-List ist leer</translation>
    </message>
    <message>
        <source>the property list holds more than one value</source>
        <translation>die Property-List enthält mehr als einen Wert</translation>
    </message>
    <message>
        <source>the property list is not well-formed XML (line %1)</source>
        <translation>die Property-List ist kein wohlgeformtes XML (Zeile %1)</translation>
    </message>
    <message>
        <source>the property list declares entities</source>
        <translation>die Property-List deklariert Entitäten</translation>
    </message>
    <message>
        <source>the property list has text outside its values</source>
        <translation>die Property-List enthält Text außerhalb ihrer Werte</translation>
    </message>
    <message>
        <source>the property list uses an undeclared entity</source>
        <translation>die Property-List verwendet eine nicht deklarierte Entität</translation>
    </message>
    <message>
        <source>a value of the property list holds an element</source>
        <translation>ein Wert der Property-List enthält ein Element</translation>
    </message>
    <message>
        <source>a dictionary of the property list lacks a &lt;key&gt;</source>
        <translation>einem Dictionary der Property-List fehlt ein &lt;key&gt;</translation>
    </message>
    <message>
        <source>a key of the property list has no value</source>
        <translation>ein Schlüssel der Property-List hat keinen Wert</translation>
    </message>
    <message>
        <source>an array of the property list is malformed</source>
        <translation>ein Array der Property-List ist fehlerhaft</translation>
    </message>
    <message>
        <source>a boolean of the property list holds text</source>
        <translation>ein Wahrheitswert der Property-List enthält Text</translation>
    </message>
    <message>
        <source>an integer of the property list is not a 64-bit number</source>
        <translation>eine Ganzzahl der Property-List ist keine 64-Bit-Zahl</translation>
    </message>
    <message>
        <source>a real number of the property list is malformed</source>
        <translation>eine Gleitkommazahl der Property-List ist fehlerhaft</translation>
    </message>
    <message>
        <source>a data value of the property list is not Base64</source>
        <translation>ein Datenwert der Property-List ist nicht Base64-kodiert</translation>
    </message>
    <message>
        <source>the property list has an unknown element</source>
        <translation>die Property-List enthält ein unbekanntes Element</translation>
    </message>
    <message>
        <source>The file cannot be read: %1.</source>
        <translation>Die Datei kann nicht gelesen werden: %1.</translation>
    </message>
    <message>
        <source>The file is larger than 1 MiB, far more than any profile; it was not read.</source>
        <translation>Die Datei ist größer als 1 MiB, weit mehr als jedes Profil; sie wurde nicht gelesen.</translation>
    </message>
    <message>
        <source>The signed file does not hold a configuration profile.</source>
        <translation>Die signierte Datei enthält kein Konfigurationsprofil.</translation>
    </message>
    <message>
        <source>The file is neither a strongSwan profile (.sswan) nor a configuration profile (.mobileconfig).</source>
        <translation>Die Datei ist weder ein strongSwan-Profil (.sswan) noch ein Konfigurationsprofil (.mobileconfig).</translation>
    </message>
    <message>
        <source>The file&apos;s signature envelope is damaged.</source>
        <translation>Die Signaturhülle der Datei ist beschädigt.</translation>
    </message>
    <message>
        <source>The system&apos;s trust store could not be read.</source>
        <translation>Der Zertifikatsspeicher des Systems konnte nicht gelesen werden.</translation>
    </message>
    <message>
        <source>The file&apos;s signature does not match its content: it was changed after it was signed, or the signer&apos;s certificate is missing.</source>
        <translation>Die Signatur der Datei passt nicht zu ihrem Inhalt: Sie wurde nach dem Signieren geändert, oder das Zertifikat des Unterzeichners fehlt.</translation>
    </message>
    <message>
        <source>Torvane always asks the gateway for its certificate.</source>
        <translation>Torvane fordert vom Gateway immer sein Zertifikat an.</translation>
    </message>
    <message>
        <source>Torvane checks revocation the way strongSwan does by default; this choice is not kept.</source>
        <translation>Torvane prüft Zertifikatssperrungen so, wie strongSwan es standardmäßig tut; diese Wahl wird nicht übernommen.</translation>
    </message>
    <message>
        <source>strongSwan chooses the signature scheme itself in Torvane.</source>
        <translation>In Torvane wählt strongSwan das Signaturverfahren selbst.</translation>
    </message>
    <message>
        <source>Torvane cannot keep subnets outside a tunnel.</source>
        <translation>Torvane kann keine Subnetze aus einem Tunnel ausnehmen.</translation>
    </message>
    <message>
        <source>Torvane cannot block IPv4 traffic that the tunnel does not carry.</source>
        <translation>Torvane kann IPv4-Datenverkehr, den der Tunnel nicht überträgt, nicht blockieren.</translation>
    </message>
    <message>
        <source>Torvane tunnels the whole computer, not single apps.</source>
        <translation>Torvane leitet den gesamten Computer durch den Tunnel, nicht einzelne Apps.</translation>
    </message>
    <message>
        <source>The file is not a strongSwan profile: it is not a JSON object.</source>
        <translation>Die Datei ist kein strongSwan-Profil: Sie ist kein JSON-Objekt.</translation>
    </message>
    <message>
        <source>The file does not say how to authenticate (its &quot;%1&quot; is missing).</source>
        <translation>Die Datei gibt nicht an, wie authentifiziert wird (der Eintrag „%1“ fehlt).</translation>
    </message>
    <message>
        <source>The profile authenticates with a certificate followed by EAP, which Torvane cannot do.</source>
        <translation>Das Profil authentifiziert sich mit einem Zertifikat und anschließend EAP, was Torvane nicht kann.</translation>
    </message>
    <message>
        <source>The profile uses EAP with a network-access check (TNC), which Torvane cannot do.</source>
        <translation>Das Profil verwendet EAP mit einer Netzwerkzugangsprüfung (TNC), was Torvane nicht kann.</translation>
    </message>
    <message>
        <source>The profile&apos;s authentication type &quot;%1&quot; is not supported.</source>
        <translation>Der Authentifizierungstyp „%1“ des Profils wird nicht unterstützt.</translation>
    </message>
    <message>
        <source>The profile names no gateway (&quot;%1&quot; is missing).</source>
        <translation>Das Profil nennt kein Gateway („%1“ fehlt).</translation>
    </message>
    <message>
        <source>This is not a valid UUID; the profile gets a new one.</source>
        <translation>Dies ist keine gültige UUID; das Profil erhält eine neue.</translation>
    </message>
    <message>
        <source>%1 (the gateway&apos;s address, as the name is empty)</source>
        <translation>%1 (die Adresse des Gateways, da der Name leer ist)</translation>
    </message>
    <message>
        <source>%1 (not in the file: the gateway&apos;s address)</source>
        <translation>%1 (nicht in der Datei: die Adresse des Gateways)</translation>
    </message>
    <message>
        <source>(the IKE port Torvane always uses)</source>
        <translation>(der IKE-Port, den Torvane immer verwendet)</translation>
    </message>
    <message>
        <source>Torvane always connects to the gateway&apos;s standard IKE port %1.</source>
        <translation>Torvane verbindet sich immer mit dem Standard-IKE-Port %1 des Gateways.</translation>
    </message>
    <message>
        <source>The gateway certificate in the file (&quot;%1&quot;) is damaged.</source>
        <translation>Das Gateway-Zertifikat in der Datei („%1“) ist beschädigt.</translation>
    </message>
    <message>
        <source>The client certificate in the file (&quot;%1&quot;) is damaged.</source>
        <translation>Das Client-Zertifikat in der Datei („%1“) ist beschädigt.</translation>
    </message>
    <message>
        <source>%1 (other certificates)</source>
        <translation>%1 (weitere Zertifikate)</translation>
    </message>
    <message>
        <source>Torvane keeps only the client certificate from the bundle; the gateway&apos;s CA comes from &quot;%1&quot;.</source>
        <translation>Torvane übernimmt aus dem Bündel nur das Client-Zertifikat; die CA des Gateways stammt aus „%1“.</translation>
    </message>
    <message>
        <source>The profile authenticates with a certificate but holds none (&quot;%1&quot; is missing).</source>
        <translation>Das Profil authentifiziert sich mit einem Zertifikat, enthält aber keines („%1“ fehlt).</translation>
    </message>
    <message>
        <source>The value is not of the kind this setting takes, so it was left out.</source>
        <translation>Der Wert hat nicht die Art, die diese Einstellung erwartet, und wurde daher ausgelassen.</translation>
    </message>
    <message>
        <source>This is a setting of the phone app&apos;s screens.</source>
        <translation>Dies ist eine Einstellung für die Oberfläche der Smartphone-App.</translation>
    </message>
    <message>
        <source>(%1 bytes)</source>
        <translation>(Bytes: %1)</translation>
    </message>
    <message>
        <source>(%1 entries)</source>
        <translation>(Einträge: %1)</translation>
    </message>
    <message>
        <source>(%1 keys)</source>
        <translation>(Schlüssel: %1)</translation>
    </message>
</context>
<context>
    <name>ProposalModel</name>
    <message>
        <source>None (no PFS)</source>
        <translation>Keine (ohne PFS)</translation>
    </message>
    <message>
        <source>3DES (legacy)</source>
        <translation>3DES (veraltet)</translation>
    </message>
    <message>
        <source>SHA-1 (legacy)</source>
        <translation>SHA-1 (veraltet)</translation>
    </message>
</context>
<context>
    <name>StatusIcons</name>
    <message>
        <source>Connecting</source>
        <translation>Verbindung wird hergestellt</translation>
    </message>
    <message>
        <source>Reconnecting</source>
        <translation>Verbindung wird wiederhergestellt</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>Verbunden</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Disconnected</source>
        <translation>Getrennt</translation>
    </message>
</context>
<context>
    <name>SystemdServiceRegistry</name>
    <message>
        <source>The Torvane helper is not enabled. Enable it as an administrator with:
    sudo systemctl enable --now torvane-helper.socket</source>
        <translation>Der Torvane-Hilfsdienst ist nicht aktiviert. Aktivieren Sie ihn als Administrator mit:
    sudo systemctl enable --now torvane-helper.socket</translation>
    </message>
</context>
<context>
    <name>TrafficText</name>
    <message>
        <source>%1 B</source>
        <translation>%1 B</translation>
    </message>
    <message>
        <source>%1 kB</source>
        <translation>%1 kB</translation>
    </message>
    <message>
        <source>%1 MB</source>
        <translation>%1 MB</translation>
    </message>
    <message>
        <source>%1 GB</source>
        <translation>%1 GB</translation>
    </message>
    <message>
        <source>%1 TB</source>
        <translation>%1 TB</translation>
    </message>
    <message>
        <source>%1 PB</source>
        <translation>%1 PB</translation>
    </message>
    <message>
        <source>%1/s</source>
        <translation>%1/s</translation>
    </message>
    <message>
        <source>%1 d %2 h</source>
        <translation>%1 T %2 h</translation>
    </message>
    <message>
        <source>%1 h %2 min</source>
        <translation>%1 h %2 min</translation>
    </message>
    <message>
        <source>%1 min %2 s</source>
        <translation>%1 min %2 s</translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation>%1 s</translation>
    </message>
    <message>
        <source>↓ %1 ↑ %2</source>
        <translation>↓ %1 ↑ %2</translation>
    </message>
</context>
<context>
    <name>VPNAuthMethod</name>
    <message>
        <source>Certificate + XAuth</source>
        <translation>Zertifikat + XAuth</translation>
    </message>
    <message>
        <source>Certificate only</source>
        <translation>Nur Zertifikat</translation>
    </message>
    <message>
        <source>EAP-MSCHAPv2 (username/password)</source>
        <translation>EAP-MSCHAPv2 (Benutzername/Passwort)</translation>
    </message>
    <message>
        <source>EAP-TLS (certificate)</source>
        <translation>EAP-TLS (Zertifikat)</translation>
    </message>
    <message>
        <source>Pre-shared key + gateway certificate</source>
        <translation>Pre-Shared Key + Gateway-Zertifikat</translation>
    </message>
    <message>
        <source>Pre-shared key (mutual)</source>
        <translation>Pre-Shared Key (gegenseitig)</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Torvane is already running but does not answer: %1</source>
        <translation>Torvane läuft bereits, antwortet aber nicht: %1</translation>
    </message>
</context>
<context>
    <name>torvane::AboutPanel</name>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>Torvane bundles %1 and %2, both licensed under the GNU General Public License v2, and OpenSSL, licensed under the Apache License 2.0.</source>
        <translation>Torvane enthält %1 und %2, beide lizenziert unter der GNU General Public License v2, sowie OpenSSL, lizenziert unter der Apache License 2.0.</translation>
    </message>
    <message>
        <source>About Torvane</source>
        <translation>Über Torvane</translation>
    </message>
    <message>
        <source>Credits</source>
        <translation>Danksagungen</translation>
    </message>
    <message>
        <source>Licence</source>
        <translation>Lizenz</translation>
    </message>
</context>
<context>
    <name>torvane::AppDelegate</name>
    <message>
        <source>Torvane can’t reach its VPN helper</source>
        <translation>Torvane erreicht seinen VPN-Hilfsdienst nicht</translation>
    </message>
    <message>
        <source>The privileged helper couldn’t be started or contacted, so Torvane can’t manage VPN connections and will quit.

Enable the helper with “sudo systemctl enable --now torvane-helper.socket”, then launch Torvane again. If it keeps failing, reinstall the package.</source>
        <translation>Der privilegierte Hilfsdienst konnte nicht gestartet oder erreicht werden. Torvane kann daher keine VPN-Verbindungen verwalten und wird beendet.

Aktivieren Sie den Hilfsdienst mit „sudo systemctl enable --now torvane-helper.socket“ und starten Sie Torvane dann erneut. Schlägt es weiterhin fehl, installieren Sie das Paket neu.</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Show How to Enable</source>
        <translation>Anleitung zum Aktivieren</translation>
    </message>
    <message>
        <source>Enabling the VPN helper</source>
        <translation>VPN-Hilfsdienst aktivieren</translation>
    </message>
</context>
<context>
    <name>torvane::CertificateRow</name>
    <message>
        <source>%1 state</source>
        <translation>%1: Status</translation>
    </message>
    <message>
        <source>Import…</source>
        <translation>Importieren…</translation>
    </message>
    <message>
        <source>Import %1</source>
        <translation>%1 importieren</translation>
    </message>
    <message>
        <source>Loaded</source>
        <translation>Geladen</translation>
    </message>
    <message>
        <source>Not set</source>
        <translation>Nicht gesetzt</translation>
    </message>
</context>
<context>
    <name>torvane::ConfigWindow</name>
    <message>
        <source>Delete Profile</source>
        <translation>Profil löschen</translation>
    </message>
    <message>
        <source>Delete “%1”? This also removes its saved password and certificates, and can’t be undone.</source>
        <translation>„%1“ löschen? Dabei werden auch das gespeicherte Passwort und die Zertifikate entfernt. Dies kann nicht rückgängig gemacht werden.</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Unsaved Changes</source>
        <translation>Ungespeicherte Änderungen</translation>
    </message>
    <message>
        <source>Save the changes to “%1”?</source>
        <translation>Änderungen an „%1“ speichern?</translation>
    </message>
    <message>
        <source>Your changes are lost if you don’t save them.</source>
        <translation>Ihre Änderungen gehen verloren, wenn Sie sie nicht speichern.</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Discard</source>
        <translation>Verwerfen</translation>
    </message>
    <message>
        <source>Torvane Configuration</source>
        <translation>Torvane-Einstellungen</translation>
    </message>
    <message>
        <source>Configuration tabs</source>
        <translation>Einstellungsbereiche</translation>
    </message>
    <message>
        <source>Connections</source>
        <translation>Verbindungen</translation>
    </message>
    <message>
        <source>Log</source>
        <translation>Protokoll</translation>
    </message>
    <message>
        <source>Drag to reorder — profiles higher in the list take priority when connected tunnels have overlapping routes or DNS.</source>
        <translation>Zum Umsortieren ziehen – weiter oben stehende Profile haben Vorrang, wenn sich Routen oder DNS verbundener Tunnel überschneiden.</translation>
    </message>
    <message>
        <source>Add a profile</source>
        <translation>Profil hinzufügen</translation>
    </message>
    <message>
        <source>Delete the selected profile</source>
        <translation>Ausgewähltes Profil löschen</translation>
    </message>
    <message>
        <source>Start Torvane at login</source>
        <translation>Torvane bei der Anmeldung starten</translation>
    </message>
    <message>
        <source>Torvane documentation</source>
        <translation>Torvane-Dokumentation</translation>
    </message>
    <message>
        <source>No Profile Selected</source>
        <translation>Kein Profil ausgewählt</translation>
    </message>
    <message>
        <source>Select a profile or add a new one.</source>
        <translation>Wählen Sie ein Profil aus oder fügen Sie ein neues hinzu.</translation>
    </message>
    <message>
        <source>Show notifications</source>
        <translation>Benachrichtigungen anzeigen</translation>
    </message>
    <message>
        <source>Import profiles from a .torvane, .sswan or .mobileconfig file</source>
        <translation>Profile aus einer .torvane-, .sswan- oder .mobileconfig-Datei importieren</translation>
    </message>
    <message>
        <source>Check for Leaks…</source>
        <translation>Auf Lecks prüfen…</translation>
    </message>
    <message>
        <source>Checks that routes, DNS, IPv6 and the kill switch keep traffic in the tunnels</source>
        <translation>Prüft, ob Routen, DNS, IPv6 und der Kill-Switch den Datenverkehr in den Tunneln halten</translation>
    </message>
</context>
<context>
    <name>torvane::ConnectionManager</name>
    <message>
        <source>Disconnected</source>
        <translation>Getrennt</translation>
    </message>
    <message>
        <source>Connecting…</source>
        <translation>Verbindung wird hergestellt…</translation>
    </message>
    <message>
        <source>Reconnecting…</source>
        <translation>Verbindung wird wiederhergestellt…</translation>
    </message>
    <message>
        <source>Connected: %1 tunnels</source>
        <translation>Verbunden: %1 Tunnel</translation>
    </message>
    <message>
        <source>Connected: %1 (%2)</source>
        <translation>Verbunden: %1 (%2)</translation>
    </message>
    <message>
        <source>Connected: %1</source>
        <translation>Verbunden: %1</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>Verbunden</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Connect failed: %1</source>
        <translation>Verbindung fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>Priorities not applied: %1</source>
        <translation>Prioritäten nicht übernommen: %1</translation>
    </message>
    <message>
        <source>Auto-connect skipped for &apos;%1&apos; (no password provided)</source>
        <translation>Automatisches Verbinden von „%1“ übersprungen (kein Passwort angegeben)</translation>
    </message>
    <message>
        <source>Auto-connected &apos;%1&apos;</source>
        <translation>„%1“ automatisch verbunden</translation>
    </message>
    <message>
        <source>Auto-connect failed for &apos;%1&apos;: %2</source>
        <translation>Automatisches Verbinden von „%1“ fehlgeschlagen: %2</translation>
    </message>
    <message>
        <source>Kill switch holding: traffic blocked</source>
        <translation>Kill-Switch aktiv: Datenverkehr blockiert</translation>
    </message>
    <message>
        <source>Helper unreachable — reconnecting…</source>
        <translation>Hilfsdienst nicht erreichbar — neue Verbindung wird aufgebaut…</translation>
    </message>
    <message>
        <source>Your profile &apos;%1&apos; is hidden: the managed profile &apos;%2&apos; has the same ID</source>
        <translation>Ihr Profil „%1“ ist ausgeblendet: Das verwaltete Profil „%2“ hat dieselbe ID</translation>
    </message>
</context>
<context>
    <name>torvane::DesktopNotifier</name>
    <message>
        <source>Connected: %1</source>
        <translation>Verbunden: %1</translation>
    </message>
    <message>
        <source>Virtual address %1</source>
        <translation>Virtuelle Adresse %1</translation>
    </message>
    <message>
        <source>The tunnel is up.</source>
        <translation>Der Tunnel steht.</translation>
    </message>
    <message>
        <source>Reconnecting: %1</source>
        <translation>Verbindung wird wiederhergestellt: %1</translation>
    </message>
    <message>
        <source>The tunnel dropped; Torvane is bringing it back.</source>
        <translation>Der Tunnel ist abgebrochen; Torvane stellt ihn wieder her.</translation>
    </message>
    <message>
        <source>Connection failed: %1</source>
        <translation>Verbindung fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>The tunnel stopped and will not retry.</source>
        <translation>Der Tunnel wurde beendet und wird nicht erneut versucht.</translation>
    </message>
    <message>
        <source>Traffic outside the tunnels stays blocked until they are back; Disconnect All lifts it.</source>
        <translation>Datenverkehr außerhalb der Tunnel bleibt gesperrt, bis sie wieder stehen; „Alle trennen“ hebt die Sperre auf.</translation>
    </message>
</context>
<context>
    <name>torvane::ExportSheet</name>
    <message>
        <source>Export Profile</source>
        <translation>Profil exportieren</translation>
    </message>
    <message>
        <source>Choose a passphrase to protect the exported file. You’ll need it to import the profile on another machine.</source>
        <translation>Wählen Sie eine Passphrase zum Schutz der exportierten Datei. Sie benötigen sie, um das Profil auf einem anderen Rechner zu importieren.</translation>
    </message>
    <message>
        <source>Passphrase</source>
        <translation>Passphrase</translation>
    </message>
    <message>
        <source>Confirm passphrase</source>
        <translation>Passphrase bestätigen</translation>
    </message>
    <message>
        <source>Passphrases don’t match.</source>
        <translation>Die Passphrasen stimmen nicht überein.</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Exportieren</translation>
    </message>
</context>
<context>
    <name>torvane::ImportFlow</name>
    <message>
        <source>Import Profile</source>
        <translation>Profil importieren</translation>
    </message>
    <message>
        <source>Couldn’t Import Profile</source>
        <translation>Profil konnte nicht importiert werden</translation>
    </message>
    <message>
        <source>The profile was imported, but its password and keys couldn’t be saved to your keyring (it may be locked). Open the profile and Save again.</source>
        <translation>Das Profil wurde importiert, aber Passwort und Schlüssel konnten nicht in Ihrem Schlüsselbund gespeichert werden (er ist möglicherweise gesperrt). Öffnen Sie das Profil und speichern Sie erneut.</translation>
    </message>
    <message>
        <source>VPN profiles (*.torvane *.sswan *.mobileconfig);;Torvane profiles (*.torvane *.json);;strongSwan profiles (*.sswan);;Configuration profiles (*.mobileconfig);;All files (*)</source>
        <translation>VPN-Profile (*.torvane *.sswan *.mobileconfig);;Torvane-Profile (*.torvane *.json);;strongSwan-Profile (*.sswan);;Konfigurationsprofile (*.mobileconfig);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Replace “%1”?</source>
        <translation>„%1“ ersetzen?</translation>
    </message>
    <message>
        <source>A profile with the same identity is already in the list. Replacing it overwrites its settings and secrets with those of the file.</source>
        <translation>Ein Profil mit derselben Kennung ist bereits in der Liste. Beim Ersetzen werden seine Einstellungen und Geheimnisse durch die aus der Datei überschrieben.</translation>
    </message>
    <message>
        <source>Replace</source>
        <translation>Ersetzen</translation>
    </message>
    <message>
        <source>The file holds no VPN profile that Torvane can use.</source>
        <translation>Die Datei enthält kein VPN-Profil, das Torvane verwenden kann.</translation>
    </message>
    <message>
        <source>That password is wrong. Enter the password again (%1).</source>
        <translation>Das Passwort ist falsch. Geben Sie das Passwort erneut ein (%1).</translation>
    </message>
    <message>
        <source>A certificate in the file is protected by a password (%1). Enter it to import the certificate and its key.</source>
        <translation>Ein Zertifikat in der Datei ist durch ein Passwort geschützt (%1). Geben Sie es ein, um das Zertifikat und seinen Schlüssel zu importieren.</translation>
    </message>
</context>
<context>
    <name>torvane::ImportPreviewSheet</name>
    <message>
        <source>Carried over</source>
        <translation>Übernommen</translation>
    </message>
    <message>
        <source>Not carried over</source>
        <translation>Nicht übernommen</translation>
    </message>
    <message>
        <source>→ %1</source>
        <translation>→ %1</translation>
    </message>
    <message>
        <source>Signed by %1, trusted</source>
        <translation>Signiert von %1, vertrauenswürdig</translation>
    </message>
    <message>
        <source>Signed by %1, not trusted</source>
        <translation>Signiert von %1, nicht vertrauenswürdig</translation>
    </message>
    <message>
        <source>Not signed</source>
        <translation>Nicht signiert</translation>
    </message>
    <message>
        <source>Import Profile</source>
        <translation>Profil importieren</translation>
    </message>
    <message>
        <source>Field</source>
        <translation>Feld</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>Wert</translation>
    </message>
    <message>
        <source>Result</source>
        <translation>Ergebnis</translation>
    </message>
    <message>
        <source>%1 — %2</source>
        <translation>%1 — %2</translation>
    </message>
    <message>
        <source>The file itself</source>
        <translation>Die Datei selbst</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>Importieren</translation>
    </message>
    <message>
        <source>Import from “%1”?</source>
        <translation>Aus „%1“ importieren?</translation>
    </message>
</context>
<context>
    <name>torvane::LeakCheckDialog</name>
    <message>
        <source>Check for Leaks</source>
        <translation>Auf Lecks prüfen</translation>
    </message>
    <message>
        <source>Level</source>
        <translation>Stufe</translation>
    </message>
    <message>
        <source>Check</source>
        <translation>Prüfung</translation>
    </message>
    <message>
        <source>Finding</source>
        <translation>Befund</translation>
    </message>
    <message>
        <source>Check Again</source>
        <translation>Erneut prüfen</translation>
    </message>
    <message>
        <source>Checking…</source>
        <translation>Wird geprüft…</translation>
    </message>
    <message>
        <source>The leak check could not be run: %1</source>
        <translation>Die Leckprüfung konnte nicht ausgeführt werden: %1</translation>
    </message>
    <message>
        <source>No tunnel is up: there is nothing to check.</source>
        <translation>Kein Tunnel ist verbunden: Es gibt nichts zu prüfen.</translation>
    </message>
    <message>
        <source>Every check passed.</source>
        <translation>Alle Prüfungen bestanden.</translation>
    </message>
    <message>
        <source>Checks that found a problem: %1</source>
        <translation>Prüfungen mit Problem: %1</translation>
    </message>
</context>
<context>
    <name>torvane::LogPane</name>
    <message>
        <source>Clear</source>
        <translation>Leeren</translation>
    </message>
    <message>
        <source>Log</source>
        <translation>Protokoll</translation>
    </message>
</context>
<context>
    <name>torvane::PassphraseDialog</name>
    <message>
        <source>Import Profile</source>
        <translation>Profil importieren</translation>
    </message>
    <message>
        <source>Import “%1”</source>
        <translation>„%1“ importieren</translation>
    </message>
    <message>
        <source>Enter the passphrase this profile was exported with.</source>
        <translation>Geben Sie die Passphrase ein, mit der dieses Profil exportiert wurde.</translation>
    </message>
    <message>
        <source>Passphrase</source>
        <translation>Passphrase</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>Importieren</translation>
    </message>
</context>
<context>
    <name>torvane::PasswordPromptDialog</name>
    <message>
        <source>Enter %1 to connect.</source>
        <translation>Zum Verbinden %1 eingeben.</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Verbinden</translation>
    </message>
</context>
<context>
    <name>torvane::ProfileEditorView</name>
    <message>
        <source>The file “%1” couldn’t be opened: %2</source>
        <translation>Die Datei „%1“ konnte nicht geöffnet werden: %2</translation>
    </message>
    <message>
        <source>The file “%1” is too large to be a certificate or key.</source>
        <translation>Die Datei „%1“ ist zu groß für ein Zertifikat oder einen Schlüssel.</translation>
    </message>
    <message>
        <source>The file “%1” couldn’t be read: %2</source>
        <translation>Die Datei „%1“ konnte nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>The file “%1” isn’t text in UTF-8, so it can’t be a PEM file.</source>
        <translation>Die Datei „%1“ ist kein UTF-8-Text und kann daher keine PEM-Datei sein.</translation>
    </message>
    <message>
        <source>Import Certificate or Key</source>
        <translation>Zertifikat oder Schlüssel importieren</translation>
    </message>
    <message>
        <source>Certificates and keys (*.pem *.crt *.key *.cer *.der);;All files (*)</source>
        <translation>Zertifikate und Schlüssel (*.pem *.crt *.key *.cer *.der);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Profile editor</source>
        <translation>Profileditor</translation>
    </message>
    <message>
        <source>IKE Proposals</source>
        <translation>IKE-Vorschläge</translation>
    </message>
    <message>
        <source>ESP Proposals</source>
        <translation>ESP-Vorschläge</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Export…</source>
        <translation>Exportieren…</translation>
    </message>
    <message>
        <source>Export this profile to a passphrase-protected .torvane file</source>
        <translation>Dieses Profil in eine mit Passphrase geschützte .torvane-Datei exportieren</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Verbinden</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Allgemein</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Connect automatically when Torvane launches</source>
        <translation>Beim Start von Torvane automatisch verbinden</translation>
    </message>
    <message>
        <source>Authentication</source>
        <translation>Authentifizierung</translation>
    </message>
    <message>
        <source>Method</source>
        <translation>Methode</translation>
    </message>
    <message>
        <source>IKE version</source>
        <translation>IKE-Version</translation>
    </message>
    <message>
        <source>User</source>
        <translation>Benutzer</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>Passwort</translation>
    </message>
    <message>
        <source>Pre-shared key</source>
        <translation>Pre-Shared Key</translation>
    </message>
    <message>
        <source>Local ID (identifies you to the gateway)</source>
        <translation>Lokale ID (weist Sie gegenüber dem Gateway aus)</translation>
    </message>
    <message>
        <source>Local ID (blank = from certificate)</source>
        <translation>Lokale ID (leer = aus dem Zertifikat)</translation>
    </message>
    <message>
        <source>CA certificate</source>
        <translation>CA-Zertifikat</translation>
    </message>
    <message>
        <source>Client certificate</source>
        <translation>Client-Zertifikat</translation>
    </message>
    <message>
        <source>Client private key</source>
        <translation>Privater Client-Schlüssel</translation>
    </message>
    <message>
        <source>Gateway</source>
        <translation>Gateway</translation>
    </message>
    <message>
        <source>Remote address</source>
        <translation>Entfernte Adresse</translation>
    </message>
    <message>
        <source>Remote ID (DN, blank = %any)</source>
        <translation>Entfernte ID (DN, leer = %any)</translation>
    </message>
    <message>
        <source>Remote traffic selector</source>
        <translation>Entfernter Traffic-Selektor</translation>
    </message>
    <message>
        <source>Request virtual IP</source>
        <translation>Virtuelle IP anfordern</translation>
    </message>
    <message>
        <source>Routing &amp; DNS</source>
        <translation>Routing &amp; DNS</translation>
    </message>
    <message>
        <source>Routing &amp;&amp; DNS</source>
        <translation>Routing &amp;&amp; DNS</translation>
    </message>
    <message>
        <source>Routes</source>
        <translation>Routen</translation>
    </message>
    <message>
        <source>DNS servers</source>
        <translation>DNS-Server</translation>
    </message>
    <message>
        <source>Search domains</source>
        <translation>Suchdomänen</translation>
    </message>
    <message>
        <source>Disable IPv6 on all interfaces while connected (prevents IPv6 leaks when the VPN carries only IPv4)</source>
        <translation>IPv6 während der Verbindung auf allen Schnittstellen deaktivieren (verhindert IPv6-Lecks, wenn das VPN nur IPv4 überträgt)</translation>
    </message>
    <message>
        <source>Kill switch</source>
        <translation>Kill-Switch</translation>
    </message>
    <message>
        <source>If the VPN unexpectedly disconnects or stops working, all network traffic is blocked to prevent any data from leaking outside the VPN connection. Traffic is unblocked when you disconnect manually.</source>
        <translation>Wenn das VPN unerwartet getrennt wird oder nicht mehr funktioniert, wird der gesamte Netzwerkverkehr blockiert, damit keine Daten außerhalb der VPN-Verbindung abfließen. Die Sperre endet, wenn Sie die Verbindung selbst trennen.</translation>
    </message>
    <message>
        <source>Use dnsmasq (local DNS proxy on 127.0.0.1:53)</source>
        <translation>dnsmasq verwenden (lokaler DNS-Proxy auf 127.0.0.1:53)</translation>
    </message>
    <message>
        <source>dnsmasq config</source>
        <translation>dnsmasq-Konfiguration</translation>
    </message>
    <message>
        <source>Keepalive</source>
        <translation>Keepalive</translation>
    </message>
    <message>
        <source>Ping IP (blank disables)</source>
        <translation>Ping-IP (leer = aus)</translation>
    </message>
    <message>
        <source>Interval (s)</source>
        <translation>Intervall (s)</translation>
    </message>
    <message>
        <source>Routes (one CIDR per line — leave empty to use the negotiated traffic selector)</source>
        <translation>Routen (ein CIDR pro Zeile – leer lassen, um den ausgehandelten Traffic-Selektor zu verwenden)</translation>
    </message>
    <message>
        <source>Routes (one CIDR per line)</source>
        <translation>Routen (ein CIDR pro Zeile)</translation>
    </message>
    <message>
        <source>dnsmasq config (leave empty to auto-generate from DNS servers above)</source>
        <translation>dnsmasq-Konfiguration (leer lassen, um sie aus den DNS-Servern oben zu erzeugen)</translation>
    </message>
    <message>
        <source>dnsmasq config (used as complete config file — include listen-address, port, server= etc.)</source>
        <translation>dnsmasq-Konfiguration (wird als vollständige Konfigurationsdatei verwendet – listen-address, port, server= usw. angeben)</translation>
    </message>
    <message>
        <source>Tip: add resolv-file=%1 to forward queries not otherwise matched to the DNS servers this computer used just before connecting. The file is written once the tunnel connects.</source>
        <translation>Tipp: Fügen Sie resolv-file=%1 hinzu, um sonst nicht zugeordnete Anfragen an die DNS-Server weiterzuleiten, die dieser Rechner unmittelbar vor dem Verbinden verwendet hat. Die Datei wird geschrieben, sobald der Tunnel verbunden ist.</translation>
    </message>
    <message>
        <source>No DNS servers configured above — dnsmasq will forward to the DNS servers this computer used just before connecting.</source>
        <translation>Oben sind keine DNS-Server eingetragen – dnsmasq leitet an die DNS-Server weiter, die dieser Rechner unmittelbar vor dem Verbinden verwendet hat.</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>Trennen</translation>
    </message>
    <message>
        <source>This profile is managed by your administrator (%1).</source>
        <translation>Dieses Profil wird von Ihrem Administrator verwaltet (%1).</translation>
    </message>
    <message>
        <source>Always on: the connection stays up.</source>
        <translation>Immer aktiv: Die Verbindung bleibt bestehen.</translation>
    </message>
</context>
<context>
    <name>torvane::ProfileListModel</name>
    <message>
        <source>Your profiles</source>
        <translation>Ihre Profile</translation>
    </message>
</context>
<context>
    <name>torvane::ProfileListView</name>
    <message>
        <source>Profiles</source>
        <translation>Profile</translation>
    </message>
    <message>
        <source>Ctrl+Up and Ctrl+Down move the selected profile up or down.</source>
        <translation>Strg+Pfeil hoch und Strg+Pfeil runter verschieben das ausgewählte Profil nach oben oder unten.</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
</context>
<context>
    <name>torvane::ProposalPicker</name>
    <message>
        <source>Encryption</source>
        <translation>Verschlüsselung</translation>
    </message>
    <message>
        <source>Integrity</source>
        <translation>Integrität</translation>
    </message>
    <message>
        <source>DH Group</source>
        <translation>DH-Gruppe</translation>
    </message>
    <message>
        <source>Resulting proposal</source>
        <translation>Resultierender Vorschlag</translation>
    </message>
    <message>
        <source>Proposal (strongSwan syntax)</source>
        <translation>Vorschlag (strongSwan-Syntax)</translation>
    </message>
</context>
<context>
    <name>torvane::Sparkline</name>
    <message>
        <source>Throughput over the last minute</source>
        <translation>Durchsatz der letzten Minute</translation>
    </message>
    <message>
        <source>Collecting samples…</source>
        <translation>Messwerte werden gesammelt…</translation>
    </message>
    <message>
        <source>Peak over the last minute: %1</source>
        <translation>Spitze der letzten Minute: %1</translation>
    </message>
</context>
<context>
    <name>torvane::TrayIcon</name>
    <message>
        <source>Torvane — %1</source>
        <translation>Torvane — %1</translation>
    </message>
</context>
<context>
    <name>torvane::TrayMenu</name>
    <message>
        <source>No profiles configured</source>
        <translation>Keine Profile eingerichtet</translation>
    </message>
    <message>
        <source>Add a Profile…</source>
        <translation>Profil hinzufügen…</translation>
    </message>
    <message>
        <source>Disconnect All</source>
        <translation>Alle trennen</translation>
    </message>
    <message>
        <source>Forcibly Stop &amp; Kill All Torvane VPNs</source>
        <translation>Alle Torvane-VPNs zwangsweise stoppen &amp; beenden</translation>
    </message>
    <message>
        <source>Configuration…</source>
        <translation>Einstellungen…</translation>
    </message>
    <message>
        <source>Show Log…</source>
        <translation>Protokoll anzeigen…</translation>
    </message>
    <message>
        <source>About Torvane</source>
        <translation>Über Torvane</translation>
    </message>
    <message>
        <source>Quit Torvane</source>
        <translation>Torvane beenden</translation>
    </message>
    <message>
        <source>Quit Torvane &amp; Stop Helper</source>
        <translation>Torvane beenden &amp; Hilfsdienst stoppen</translation>
    </message>
    <message>
        <source>Disconnects every tunnel, terminates the privileged helper daemon, then quits</source>
        <translation>Trennt alle Tunnel, beendet den privilegierten Hilfsdienst und schließt dann Torvane</translation>
    </message>
    <message>
        <source>Forcibly stop all Torvane VPNs?</source>
        <translation>Alle Torvane-VPNs zwangsweise stoppen?</translation>
    </message>
    <message>
        <source>This immediately kills every strongSwan (charon) and dnsmasq process — including strays Torvane lost track of — then removes VPN routes, restores DNS and IPv6, and lifts any kill-switch firewall rules. Tunnels are cut without notifying the gateways.</source>
        <translation>Dies beendet sofort alle strongSwan- (charon) und dnsmasq-Prozesse – auch verwaiste, die Torvane aus den Augen verloren hat –, entfernt dann die VPN-Routen, stellt DNS und IPv6 wieder her und hebt alle Kill-Switch-Firewallregeln auf. Die Tunnel werden getrennt, ohne die Gateways zu benachrichtigen.</translation>
    </message>
    <message>
        <source>Force Stop &amp; Kill</source>
        <translation>Zwangsweise stoppen &amp; beenden</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>%1 — Disconnect All lifts it</source>
        <translation>%1 — „Alle trennen“ hebt die Sperre auf</translation>
    </message>
    <message>
        <source>Managed by your organisation</source>
        <translation>Von Ihrer Organisation verwaltet</translation>
    </message>
    <message>
        <source>Managed by your administrator: it cannot be changed or deleted here</source>
        <translation>Von Ihrem Administrator verwaltet: Es kann hier weder geändert noch gelöscht werden</translation>
    </message>
</context>
<context>
    <name>torvane::TunnelDetailsView</name>
    <message>
        <source>Connection Details</source>
        <translation>Verbindungsdetails</translation>
    </message>
    <message>
        <source>IKE</source>
        <translation>IKE</translation>
    </message>
    <message>
        <source>ESP</source>
        <translation>ESP</translation>
    </message>
    <message>
        <source>Connected for</source>
        <translation>Verbunden seit</translation>
    </message>
    <message>
        <source>Next rekey</source>
        <translation>Nächste Neuverschlüsselung</translation>
    </message>
    <message>
        <source>Local address</source>
        <translation>Lokale Adresse</translation>
    </message>
    <message>
        <source>Remote address</source>
        <translation>Entfernte Adresse</translation>
    </message>
    <message>
        <source>Traffic selectors</source>
        <translation>Traffic-Selektoren</translation>
    </message>
    <message>
        <source>Received</source>
        <translation>Empfangen</translation>
    </message>
    <message>
        <source>Sent</source>
        <translation>Gesendet</translation>
    </message>
    <message>
        <source>Throughput, last minute</source>
        <translation>Durchsatz, letzte Minute</translation>
    </message>
    <message>
        <source>in %1</source>
        <translation>in %1</translation>
    </message>
    <message>
        <source>not scheduled</source>
        <translation>nicht geplant</translation>
    </message>
    <message>
        <source>IKE %1, ESP %2</source>
        <translation>IKE %1, ESP %2</translation>
    </message>
    <message>
        <source>%1 ⇄ %2</source>
        <translation>%1 ⇄ %2</translation>
    </message>
    <message>
        <source>↓ %1 (%2 packets)</source>
        <translation>↓ %1 (%2 Pakete)</translation>
    </message>
    <message>
        <source>↑ %1 (%2 packets)</source>
        <translation>↑ %1 (%2 Pakete)</translation>
    </message>
    <message>
        <source>Measuring…</source>
        <translation>Wird gemessen…</translation>
    </message>
    <message>
        <source>↓ %1</source>
        <translation>↓ %1</translation>
    </message>
    <message>
        <source>↑ %1</source>
        <translation>↑ %1</translation>
    </message>
    <message>
        <source>Throughput</source>
        <translation>Durchsatz</translation>
    </message>
</context>
<context>
    <name>torvane::cli::Torvanectl</name>
    <message>
        <source>Run &apos;torvanectl --help&apos; for usage.</source>
        <translation>„torvanectl --help“ zeigt die Verwendung.</translation>
    </message>
    <message>
        <source>unknown command &apos;%1&apos;</source>
        <translation>unbekannter Befehl „%1“</translation>
    </message>
    <message>
        <source>cannot reach the Torvane helper (is torvane-helper running? The system log has the details)</source>
        <translation>der Torvane-Hilfsdienst ist nicht erreichbar (läuft torvane-helper? Einzelheiten stehen im Systemprotokoll)</translation>
    </message>
    <message>
        <source>interrupted</source>
        <translation>unterbrochen</translation>
    </message>
    <message>
        <source>No profiles. &apos;torvanectl add --help&apos; shows how to add one.</source>
        <translation>Keine Profile. „torvanectl add --help“ zeigt, wie man eines hinzufügt.</translation>
    </message>
    <message>
        <source>Added &apos;%1&apos; (%2) at position %3</source>
        <translation>„%1“ (%2) an Position %3 hinzugefügt</translation>
    </message>
    <message>
        <source>the profile was added, but its secrets could not be stored (is a Secret Service running and unlocked?)</source>
        <translation>das Profil wurde hinzugefügt, aber seine Zugangsdaten konnten nicht gespeichert werden (läuft ein Secret Service und ist er entsperrt?)</translation>
    </message>
    <message>
        <source>Removed &apos;%1&apos;</source>
        <translation>„%1“ entfernt</translation>
    </message>
    <message>
        <source>POSITION must be a number from 1 to %1, not &apos;%2&apos;</source>
        <translation>POSITION muss eine Zahl von 1 bis %1 sein, nicht „%2“</translation>
    </message>
    <message>
        <source>the new order is saved, but the helper has not applied it</source>
        <translation>die neue Reihenfolge ist gespeichert, aber der Hilfsdienst hat sie nicht übernommen</translation>
    </message>
    <message>
        <source>&apos;%1&apos; has no stored %2; give it with --password-file FILE or run on a terminal</source>
        <translation>%2 für „%1“ ist nicht gespeichert; mit --password-file FILE angeben oder in einem Terminal ausführen</translation>
    </message>
    <message>
        <source>%1 for &apos;%2&apos;: </source>
        <translation>%1 für „%2“: </translation>
    </message>
    <message>
        <source>no %1 given</source>
        <translation>%1 nicht angegeben</translation>
    </message>
    <message>
        <source>no password given</source>
        <translation>kein Passwort angegeben</translation>
    </message>
    <message>
        <source>no answer from the helper within %1 s; &apos;%2&apos; may still be connecting</source>
        <translation>keine Antwort vom Hilfsdienst innerhalb von %1 s; „%2“ wird möglicherweise noch verbunden</translation>
    </message>
    <message>
        <source>no tunnels</source>
        <translation>keine Tunnel</translation>
    </message>
    <message>
        <source>%1 — torvanectl stop-all lifts it</source>
        <translation>%1 – torvanectl stop-all hebt ihn auf</translation>
    </message>
    <message>
        <source>a passphrase is needed; give it with --passphrase-file FILE or run on a terminal</source>
        <translation>eine Passphrase wird benötigt; mit --passphrase-file FILE angeben oder in einem Terminal ausführen</translation>
    </message>
    <message>
        <source>no passphrase given</source>
        <translation>keine Passphrase angegeben</translation>
    </message>
    <message>
        <source>Repeat the passphrase: </source>
        <translation>Passphrase wiederholen: </translation>
    </message>
    <message>
        <source>the passphrases differ</source>
        <translation>die Passphrasen stimmen nicht überein</translation>
    </message>
    <message>
        <source>Passphrase for &apos;%1&apos;: </source>
        <translation>Passphrase für „%1“: </translation>
    </message>
    <message>
        <source>Imported &apos;%1&apos; (%2) at position %3</source>
        <translation>„%1“ (%2) an Position %3 importiert</translation>
    </message>
    <message>
        <source>Another profile has the same name; name this one by its id.</source>
        <translation>Ein anderes Profil hat denselben Namen; geben Sie dieses über seine ID an.</translation>
    </message>
    <message>
        <source>the profile was imported, but its secrets could not be stored (is a Secret Service running and unlocked?)</source>
        <translation>das Profil wurde importiert, aber seine Zugangsdaten konnten nicht gespeichert werden (läuft ein Secret Service und ist er entsperrt?)</translation>
    </message>
    <message>
        <source>--format-version must be 1 or 2</source>
        <translation>--format-version muss 1 oder 2 sein</translation>
    </message>
    <message>
        <source>Passphrase to protect &apos;%1&apos;: </source>
        <translation>Passphrase zum Schutz von „%1“: </translation>
    </message>
    <message>
        <source>cannot write %1: %2</source>
        <translation>%1 kann nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>Exported &apos;%1&apos; to %2</source>
        <translation>„%1“ nach %2 exportiert</translation>
    </message>
    <message>
        <source>No secrets are stored for this profile; the file holds none.</source>
        <translation>Für dieses Profil sind keine Zugangsdaten gespeichert; die Datei enthält keine.</translation>
    </message>
    <message>
        <source>%1 is neither a Torvane export file (.torvane) nor a strongSwan (.sswan) or configuration profile (.mobileconfig)</source>
        <translation>%1 ist weder eine Torvane-Exportdatei (.torvane) noch ein strongSwan-Profil (.sswan) oder Konfigurationsprofil (.mobileconfig)</translation>
    </message>
    <message>
        <source>%1 holds &apos;%2&apos;; nothing was saved (--dry-run)</source>
        <translation>%1 enthält „%2“; nichts wurde gespeichert (--dry-run)</translation>
    </message>
    <message>
        <source>the password in %1 does not open the %2</source>
        <translation>das Passwort in %1 öffnet das %2 nicht</translation>
    </message>
    <message>
        <source>the %1 needs a password; give it with --p12-password-file FILE or run on a terminal</source>
        <translation>für das %1 ist ein Passwort nötig; geben Sie es mit --p12-password-file DATEI an oder starten Sie im Terminal</translation>
    </message>
    <message>
        <source>Wrong password. Password for the %1: </source>
        <translation>Falsches Passwort. Passwort für das %1: </translation>
    </message>
    <message>
        <source>Password for the %1: </source>
        <translation>Passwort für das %1: </translation>
    </message>
    <message>
        <source>no password given for the %1</source>
        <translation>kein Passwort für das %1 angegeben</translation>
    </message>
    <message>
        <source>strongSwan profile (.sswan)</source>
        <translation>strongSwan-Profil (.sswan)</translation>
    </message>
    <message>
        <source>configuration profile (.mobileconfig)</source>
        <translation>Konfigurationsprofil (.mobileconfig)</translation>
    </message>
    <message>
        <source>&apos;%1&apos; would replace the profile &apos;%2&apos; with the same id</source>
        <translation>„%1“ würde das Profil „%2“ mit derselben ID ersetzen</translation>
    </message>
    <message>
        <source>Nothing was saved (--dry-run).</source>
        <translation>Nichts wurde gespeichert (--dry-run).</translation>
    </message>
    <message>
        <source>&apos;%1&apos; was not imported: the profile &apos;%2&apos; has its id %3; give --replace to replace it</source>
        <translation>„%1“ wurde nicht importiert: das Profil „%2“ hat seine ID %3; mit --replace wird es ersetzt</translation>
    </message>
    <message>
        <source>Replace the profile &apos;%1&apos; (%2) with the imported &apos;%3&apos;? [y/N] </source>
        <translation>Das Profil „%1“ (%2) durch das importierte „%3“ ersetzen? [j/N] </translation>
    </message>
    <message>
        <source>y</source>
        <comment>the answer that confirms [y/N]</comment>
        <translation>j</translation>
    </message>
    <message>
        <source>&apos;%1&apos; was not imported: the profile &apos;%2&apos; with its id was kept</source>
        <translation>„%1“ wurde nicht importiert: das Profil „%2“ mit derselben ID bleibt</translation>
    </message>
    <message>
        <source>Replaced &apos;%1&apos; (%2) with &apos;%3&apos;</source>
        <translation>„%1“ (%2) durch „%3“ ersetzt</translation>
    </message>
    <message>
        <source>the leak check could not be run: %1</source>
        <translation>die Leckprüfung konnte nicht ausgeführt werden: %1</translation>
    </message>
    <message>
        <source>No tunnel is up: there is nothing to check.</source>
        <translation>Kein Tunnel ist verbunden: Es gibt nichts zu prüfen.</translation>
    </message>
    <message>
        <source>the helper cannot be reached; managed profiles are not listed</source>
        <translation>der Hilfsdienst ist nicht erreichbar; verwaltete Profile werden nicht aufgeführt</translation>
    </message>
</context>
<context>
    <name>torvanectl</name>
    <message>
        <source>torvanectl list
  Lists the profiles in priority order: position, name, method, server, id.
</source>
        <translation>torvanectl list
  Listet die Profile nach Priorität: Position, Name, Methode, Server, ID.
</translation>
    </message>
    <message>
        <source>torvanectl add --name NAME --server HOST --method METHOD [options]
torvanectl add --from-json FILE [options]
  Adds a profile at the end of the list.
  METHOD is one of psk, pskMutual, certificate, eapMSCHAPv2, eapTLS, xauth.
  --user NAME          XAuth or EAP user name
  --local-id ID        local IKE identity (default: from the certificate)
  --remote-id ID       the gateway&apos;s IKE identity (default: any)
  --routes CIDR,...    networks routed through the tunnel (default: what the
                       gateway offers within --remote-ts)
  --remote-ts CIDR     remote traffic selector (default 0.0.0.0/0)
  --ike-version 1|2    default 2; xauth always uses 1, EAP methods 2
  --ca-cert FILE       CA or gateway certificate (PEM)
  --cert FILE          client certificate (PEM)
  --dns IP,...         DNS servers while connected
  --search-domains D,...
  --connect-on-launch  connect when the tray application starts
  --from-json FILE     a profile as JSON; the options above override it
  Secrets are read from files, never from the command line:
  --psk-file FILE      pre-shared key (psk, pskMutual)
  --password-file FILE XAuth or EAP password (xauth, eapMSCHAPv2)
  --key-file FILE      client private key, PEM (certificate, eapTLS, xauth)
  A password or key that is not stored is asked for at connect.
</source>
        <translation>torvanectl add --name NAME --server HOST --method METHOD [options]
torvanectl add --from-json FILE [options]
  Fügt ein Profil am Ende der Liste hinzu.
  METHOD ist eine von psk, pskMutual, certificate, eapMSCHAPv2, eapTLS, xauth.
  --user NAME          XAuth- oder EAP-Benutzername
  --local-id ID        lokale IKE-Identität (Vorgabe: aus dem Zertifikat)
  --remote-id ID       IKE-Identität des Gateways (Vorgabe: beliebig)
  --routes CIDR,...    durch den Tunnel geleitete Netze (Vorgabe: was das
                       Gateway innerhalb von --remote-ts anbietet)
  --remote-ts CIDR     entfernter Traffic-Selektor (Vorgabe 0.0.0.0/0)
  --ike-version 1|2    Vorgabe 2; xauth verwendet immer 1, EAP-Methoden 2
  --ca-cert FILE       CA- oder Gateway-Zertifikat (PEM)
  --cert FILE          Client-Zertifikat (PEM)
  --dns IP,...         DNS-Server während der Verbindung
  --search-domains D,...
  --connect-on-launch  beim Start der Tray-Anwendung verbinden
  --from-json FILE     ein Profil als JSON; die Optionen oben haben Vorrang
  Zugangsdaten werden aus Dateien gelesen, nie von der Befehlszeile:
  --psk-file FILE      Pre-Shared Key (psk, pskMutual)
  --password-file FILE XAuth- oder EAP-Passwort (xauth, eapMSCHAPv2)
  --key-file FILE      privater Client-Schlüssel, PEM (certificate, eapTLS, xauth)
  Ein nicht gespeichertes Passwort oder ein nicht gespeicherter Schlüssel
  wird beim Verbinden abgefragt.
</translation>
    </message>
    <message>
        <source>torvanectl remove NAME|ID
  Removes a profile and its stored secrets.
</source>
        <translation>torvanectl remove NAME|ID
  Entfernt ein Profil und seine gespeicherten Zugangsdaten.
</translation>
    </message>
    <message>
        <source>torvanectl move NAME|ID POSITION
  Moves a profile to POSITION (1 is the top, the highest priority) and
  sends the new order to the helper.
</source>
        <translation>torvanectl move NAME|ID POSITION
  Verschiebt ein Profil an POSITION (1 ist oben, die höchste Priorität) und
  übermittelt die neue Reihenfolge an den Hilfsdienst.
</translation>
    </message>
    <message>
        <source>torvanectl connect NAME|ID [--password-file FILE]
  Connects a profile and waits until it is connected or has failed. When
  its password or pre-shared key is not stored, it is read from FILE, or
  asked for on the terminal.
</source>
        <translation>torvanectl connect NAME|ID [--password-file FILE]
  Verbindet ein Profil und wartet, bis es verbunden oder gescheitert ist. Ist
  sein Passwort oder Pre-Shared Key nicht gespeichert, wird er aus FILE
  gelesen oder im Terminal abgefragt.
</translation>
    </message>
    <message>
        <source>torvanectl disconnect NAME|ID
  Disconnects one profile.
</source>
        <translation>torvanectl disconnect NAME|ID
  Trennt ein Profil.
</translation>
    </message>
    <message>
        <source>torvanectl stop-all
  Disconnects every tunnel.
</source>
        <translation>torvanectl stop-all
  Trennt alle Tunnel.
</translation>
    </message>
    <message>
        <source>torvanectl force-kill
  Kills every strongSwan and DNS proxy process and restores networking.
</source>
        <translation>torvanectl force-kill
  Beendet alle strongSwan- und DNS-Proxy-Prozesse zwangsweise und stellt
  das Netzwerk wieder her.
</translation>
    </message>
    <message>
        <source>torvanectl export NAME|ID FILE [--passphrase-file FILE] [--format-version 1|2]
  Writes a profile and its secrets, sealed with a passphrase, to FILE, which
  only you can read. The passphrase protects the whole file against changes.
  --format-version 1  the older format, for a build that cannot read the
                      current one (2): it seals the secrets only, so the
                      profile in it can be changed unnoticed
</source>
        <translation>torvanectl export NAME|ID FILE [--passphrase-file FILE] [--format-version 1|2]
  Schreibt ein Profil und seine Zugangsdaten, mit einer Passphrase versiegelt,
  nach FILE, das nur Sie lesen können. Die Passphrase schützt die ganze Datei
  vor Änderungen.
  --format-version 1  das ältere Format, für eine Version, die das aktuelle (2)
                      nicht lesen kann: es versiegelt nur die Zugangsdaten,
                      das Profil darin kann also unbemerkt verändert werden
</translation>
    </message>
    <message>
        <source>torvanectl log [--follow]
  Prints the helper&apos;s log lines as they come, until Ctrl-C. The helper
  keeps no history; its past lines are in the system log under
  &apos;torvane-helper&apos;.
</source>
        <translation>torvanectl log [--follow]
  Gibt die Protokollzeilen des Hilfsdienstes bis Strg-C aus, sobald sie kommen.
  Der Hilfsdienst speichert keinen Verlauf; frühere Zeilen stehen im
  Systemprotokoll unter &apos;torvane-helper&apos;.
</translation>
    </message>
    <message>
        <source>no command given</source>
        <translation>kein Befehl angegeben</translation>
    </message>
    <message>
        <source>unknown command &apos;%1&apos;</source>
        <translation>unbekannter Befehl „%1“</translation>
    </message>
    <message>
        <source>%1 takes no value</source>
        <translation>%1 nimmt keinen Wert an</translation>
    </message>
    <message>
        <source>&apos;%1&apos; has no option %2</source>
        <translation>„%1“ hat keine Option %2</translation>
    </message>
    <message>
        <source>%1 is given twice</source>
        <translation>%1 ist doppelt angegeben</translation>
    </message>
    <message>
        <source>%1 needs a value</source>
        <translation>%1 braucht einen Wert</translation>
    </message>
    <message>
        <source>&apos;%1&apos; needs %2</source>
        <translation>„%1“ braucht %2</translation>
    </message>
    <message>
        <source>&apos;%1&apos; does not take the argument &apos;%2&apos;</source>
        <translation>„%1“ nimmt das Argument „%2“ nicht an</translation>
    </message>
    <message>
        <source>Usage: torvanectl COMMAND [ARGUMENTS] [OPTIONS]
Controls the Torvane VPN helper and the profiles of this user.

Commands:
</source>
        <translation>Aufruf: torvanectl COMMAND [ARGUMENTS] [OPTIONS]
Steuert den Torvane-VPN-Hilfsdienst und die Profile dieses Benutzers.

Befehle:
</translation>
    </message>
    <message>
        <source>Profiles are named by their name or id. &apos;torvanectl COMMAND --help&apos; describes
one command. The helper&apos;s socket is TORVANE_HELPER_SOCKET when set.
Exit status: 0 success, 1 failure, 2 usage error.
</source>
        <translation>Profile werden über ihren Namen oder ihre ID angegeben. &apos;torvanectl COMMAND --help&apos;
beschreibt einen Befehl. Der Socket des Hilfsdienstes ist TORVANE_HELPER_SOCKET,
falls gesetzt. Exit-Status: 0 Erfolg, 1 Fehler, 2 Aufruffehler.
</translation>
    </message>
    <message>
        <source>Usage: %1</source>
        <translation>Aufruf: %1</translation>
    </message>
    <message>
        <source>no profile is named &apos;%1&apos; or has that id</source>
        <translation>kein Profil heißt „%1“ oder hat diese ID</translation>
    </message>
    <message>
        <source>&apos;%1&apos; matches %2 profiles; name the one you mean by its id (&apos;torvanectl list&apos; shows the ids)</source>
        <translation>„%1“ passt auf %2 Profile; geben Sie das gemeinte über seine ID an („torvanectl list“ zeigt die IDs)</translation>
    </message>
    <message>
        <source>%1 is not a profile: %2</source>
        <translation>%1 ist kein Profil: %2</translation>
    </message>
    <message>
        <source>a profile with the id %1 already exists (&apos;%2&apos;)</source>
        <translation>ein Profil mit der ID %1 existiert bereits („%2“)</translation>
    </message>
    <message>
        <source>&apos;add&apos; needs %1 (or --from-json FILE)</source>
        <translation>„add“ braucht %1 (oder --from-json FILE)</translation>
    </message>
    <message>
        <source>unknown method &apos;%1&apos;; use one of %2</source>
        <translation>unbekannte Methode „%1“; möglich sind %2</translation>
    </message>
    <message>
        <source>--ike-version must be 1 or 2</source>
        <translation>--ike-version muss 1 oder 2 sein</translation>
    </message>
    <message>
        <source>the profile&apos;s name must not be empty</source>
        <translation>der Name des Profils darf nicht leer sein</translation>
    </message>
    <message>
        <source>a profile named &apos;%1&apos; already exists</source>
        <translation>ein Profil namens „%1“ existiert bereits</translation>
    </message>
    <message>
        <source>the profile needs a server (--server HOST)</source>
        <translation>das Profil braucht einen Server (--server HOST)</translation>
    </message>
    <message>
        <source>--psk-file does not apply to the method %1</source>
        <translation>--psk-file gilt nicht für die Methode %1</translation>
    </message>
    <message>
        <source>--password-file does not apply to the method %1</source>
        <translation>--password-file gilt nicht für die Methode %1</translation>
    </message>
    <message>
        <source>--key-file does not apply to the method %1</source>
        <translation>--key-file gilt nicht für die Methode %1</translation>
    </message>
    <message>
        <source>%1 is empty</source>
        <translation>%1 ist leer</translation>
    </message>
    <message>
        <source>NAME</source>
        <translation>NAME</translation>
    </message>
    <message>
        <source>METHOD</source>
        <translation>METHODE</translation>
    </message>
    <message>
        <source>SERVER</source>
        <translation>SERVER</translation>
    </message>
    <message>
        <source>cannot read %1: %2</source>
        <translation>%1 kann nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>cannot read %1: it is a directory</source>
        <translation>%1 kann nicht gelesen werden: es ist ein Verzeichnis</translation>
    </message>
    <message>
        <source>%1 is larger than %2 bytes</source>
        <translation>%1 ist größer als %2 Bytes</translation>
    </message>
    <message>
        <source>torvanectl import FILE [--passphrase-file FILE] [--p12-password-file FILE]
                       [--replace] [--dry-run]
  Imports the profiles in FILE, told apart by content: a .torvane export
  file, a strongSwan profile (.sswan) or a configuration profile
  (.mobileconfig, signed or not). For the last two it prints who signed the
  file and what became of each setting, secrets masked.
  --passphrase-file FILE    the passphrase of a .torvane file
  --p12-password-file FILE  the password of a client certificate bundle
                            (PKCS#12) in the file
  --replace                 replace a profile with the same id without asking
  --dry-run                 print the report, save nothing
  A password not given is asked for on the terminal. Without a terminal and
  without --replace, a profile whose id exists is not imported.
</source>
        <translation>torvanectl import FILE [--passphrase-file FILE] [--p12-password-file FILE]
                       [--replace] [--dry-run]
  Importiert die Profile in FILE, erkannt am Inhalt: eine .torvane-Exportdatei,
  ein strongSwan-Profil (.sswan) oder ein Konfigurationsprofil (.mobileconfig,
  signiert oder nicht). Bei den beiden letzten wird ausgegeben, wer die Datei
  signiert hat und was aus jeder Einstellung wurde, Geheimnisse maskiert.
  --passphrase-file FILE    die Passphrase einer .torvane-Datei
  --p12-password-file FILE  das Passwort eines Client-Zertifikatbündels
                            (PKCS#12) in der Datei
  --replace                 ein Profil mit derselben ID ohne Rückfrage ersetzen
  --dry-run                 den Bericht ausgeben, nichts speichern
  Ein nicht angegebenes Passwort wird im Terminal abgefragt. Ohne Terminal und
  ohne --replace wird ein Profil, dessen ID schon existiert, nicht importiert.
</translation>
    </message>
    <message>
        <source>Carried over:</source>
        <translation>Übernommen:</translation>
    </message>
    <message>
        <source>Not carried over:</source>
        <translation>Nicht übernommen:</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>Signature: %1</source>
        <translation>Signatur: %1</translation>
    </message>
    <message>
        <source>The file:</source>
        <translation>Die Datei:</translation>
    </message>
    <message>
        <source>Profile &apos;%1&apos; (%2):</source>
        <translation>Profil „%1“ (%2):</translation>
    </message>
    <message>
        <source>torvanectl check
  Asks the helper to check the tunnels that are up for leaks: routes, DNS,
  IPv6, the kill switch and charon. One line per check, OK, WARNING or
  FAIL, with what to do under each line that is not OK. Changes nothing.
  Exit status 1 when a check failed.
</source>
        <translation>torvanectl check
  Lässt den Hilfsdienst die verbundenen Tunnel auf Lecks prüfen: Routen, DNS,
  IPv6, Kill-Switch und charon. Eine Zeile je Prüfung, OK, WARNING oder
  FAIL, unter jeder Zeile, die nicht OK ist, was zu tun ist. Ändert nichts.
  Exit-Status 1, wenn eine Prüfung fehlschlug.
</translation>
    </message>
    <message>
        <source>torvanectl status [--watch] [--json]
  One line per tunnel: name, state, virtual IP, message, then bytes in,
  bytes out, packets in, packets out (tab-separated, &apos;-&apos; for none). With
  --watch, prints every new state the helper reports, the counters every
  2 seconds, until Ctrl-C; a tunnel that goes away is shown as
  disconnected. With --json, prints the status as one JSON object per
  line instead, with every detail the helper reports.
</source>
        <translation>torvanectl status [--watch] [--json]
  Eine Zeile je Tunnel: Name, Zustand, virtuelle IP, Meldung, dann Bytes
  empfangen, Bytes gesendet, Pakete empfangen, Pakete gesendet (durch
  Tabulatoren getrennt, &apos;-&apos; für keine). Mit --watch wird jeder neue
  Zustand, den der Hilfsdienst meldet, und alle 2 Sekunden die Zähler bis
  Strg-C ausgegeben; ein verschwundener Tunnel wird als getrennt angezeigt.
  Mit --json wird der Status stattdessen als ein JSON-Objekt je Zeile
  ausgegeben, mit allen Angaben des Hilfsdienstes.
</translation>
    </message>
    <message>
        <source>torvanectl managed check [DIR]
  Checks the managed profiles an administrator put in DIR/profiles.d, with
  their secrets in DIR/secrets.d (DIR defaults to /etc/torvane), as the
  helper reads them: each file&apos;s verdict (owner, mode, format, conflicts),
  then the resulting profiles in priority order, never a secret. Runs as
  any user. Exit status 0 when every file is accepted, else 1.
</source>
        <translation>torvanectl managed check [DIR]
  Prüft die verwalteten Profile, die ein Administrator in DIR/profiles.d
  abgelegt hat, mit ihren Geheimnissen in DIR/secrets.d (DIR ist ohne Angabe
  /etc/torvane), so wie der Hilfsdienst sie liest: das Urteil über jede Datei
  (Eigentümer, Rechte, Format, Konflikte), dann die daraus entstehenden
  Profile in der Rangfolge, nie ein Geheimnis. Läuft unter jedem Benutzer.
  Exit-Status 0, wenn jede Datei angenommen wird, sonst 1.
</translation>
    </message>
    <message>
        <source>yes</source>
        <translation>ja</translation>
    </message>
    <message>
        <source>no</source>
        <translation>nein</translation>
    </message>
    <message>
        <source>secrets: from the profile file</source>
        <translation>Geheimnisse: aus der Profildatei</translation>
    </message>
    <message>
        <source>secrets: from secrets.d</source>
        <translation>Geheimnisse: aus secrets.d</translation>
    </message>
    <message>
        <source>secrets: in secrets.d, not readable by this user</source>
        <translation>Geheimnisse: in secrets.d, für diesen Benutzer nicht lesbar</translation>
    </message>
    <message>
        <source>secrets: asked at connect</source>
        <translation>Geheimnisse: werden beim Verbinden erfragt</translation>
    </message>
    <message>
        <source>&apos;managed&apos; has no subcommand &apos;%1&apos;</source>
        <translation>„managed“ hat keinen Unterbefehl „%1“</translation>
    </message>
    <message>
        <source>Files in %1:</source>
        <translation>Dateien in %1:</translation>
    </message>
    <message>
        <source>(no managed profile files)</source>
        <translation>(keine Dateien mit verwalteten Profilen)</translation>
    </message>
    <message>
        <source>Managed profiles, in priority order:</source>
        <translation>Verwaltete Profile, in der Rangfolge:</translation>
    </message>
    <message>
        <source>(none)</source>
        <translation>(keine)</translation>
    </message>
    <message>
        <source>type %1, gateway %2, from %3</source>
        <translation>Typ %1, Gateway %2, aus %3</translation>
    </message>
    <message>
        <source>alwaysOn: %1, lockdown: %2, userMayDisconnect: %3</source>
        <translation>alwaysOn: %1, lockdown: %2, userMayDisconnect: %3</translation>
    </message>
</context>
</TS>
