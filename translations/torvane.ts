<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" sourcelanguage="en">
<context>
    <name>AutostartEntry</name>
    <message>
        <source>Torvane could not remove %1: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane could not create %1: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane could not write %1: %2.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>EditorAlerts</name>
    <message>
        <source>Couldn’t Save Secrets</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t Export Profile</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t Import File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The password and keys couldn’t be saved to your keyring (it may be locked). Unlock your keyring and Save again.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ExportFile</name>
    <message>
        <source>This profile file uses a newer format (version %1) than this app understands.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This isn’t a Torvane profile file.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The profile file is damaged or incomplete.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Incorrect passphrase, or the file was changed after it was exported — the secrets couldn’t be decrypted.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Incorrect passphrase — the secrets couldn’t be decrypted.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not derive the encryption key from the passphrase.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not generate secure random data for encryption.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This profile file protects its secrets with a method this app doesn’t support.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ExportFlow</name>
    <message>
        <source>Export Profile</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane profile (*.torvane)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PasswordPrompt</name>
    <message>
        <source>Pre-shared Key</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>EAP Password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>XAuth Password</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ProfileImport</name>
    <message>
        <source>signed by %1, trusted</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>signed by %1, not trusted</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not signed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This describes the file or payload, not the connection.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>strongSwan&apos;s own dead-peer detection applies in Torvane.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane leaves MOBIKE to strongSwan&apos;s default.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane leaves gateway redirects to strongSwan&apos;s default.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane uses strongSwan&apos;s NAT keepalive interval (20 seconds).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane uses strongSwan&apos;s NAT keepalive.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Use Torvane&apos;s kill switch to keep traffic from leaving outside the tunnel.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane cannot keep the local network outside a tunnel.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane connects when you ask, or at start-up if you choose so.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane checks the gateway against the CA certificate and its identity instead.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane checks revocation the way strongSwan does by default.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane routes by the traffic selectors and its routes list.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane does not switch to another network while connected.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane leaves the tunnel&apos;s MTU to the system.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane does not use smart-card PINs.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane stays connected until you disconnect.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane sends every DNS query to the tunnel&apos;s servers, not only those of some domains.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane connects with its own IPsec client, not with an app.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane does not set proxies.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane connects when you ask.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane does not know this setting.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>strongSwan no longer offers this cipher; Torvane&apos;s default proposal is kept.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This integrity algorithm is unknown; Torvane&apos;s default proposal is kept.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This Diffie-Hellman group is unknown; Torvane&apos;s default proposal is kept.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This is not a lifetime between one minute and a week.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The profile &quot;%1&quot; refers to a client certificate the file does not hold.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The client certificate of &quot;%1&quot; is damaged.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>client certificate of &quot;%1&quot;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 (private key)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The VPN &quot;%1&quot; is of type &quot;%2&quot;; Torvane connects with IKEv2 or IPsec (IKEv1) only.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The VPN &quot;%1&quot; has no %2 settings.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The VPN &quot;%1&quot; names no gateway.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The VPN &quot;%1&quot; authenticates with a certificate but the file holds none for it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>With EAP-TLS this computer proves itself with its certificate, not with a user name and password.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>With EAP the gateway proves itself with its certificate in Torvane, not with a shared secret.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The VPN &quot;%1&quot; has no way for this computer to authenticate.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane cannot add XAuth to a group pre-shared key; the profile uses the group key alone, which a gateway that asks for XAuth will refuse.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(certificate payload)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file is not a configuration profile: it lists no payloads.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This certificate is damaged.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane keeps one CA certificate per profile, the file&apos;s first.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane imports only VPN settings from this file.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No imported VPN uses this certificate, so it was not opened.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file holds no VPN settings to import.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The %1 is not a PKCS#12 file.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The password of the %1 was not given.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The %1 could not be opened: it holds no certificate with its private key, or uses a cipher OpenSSL does not offer.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the binary property list is truncated</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the binary property list has an invalid trailer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the binary property list has a malformed length</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the property list nests deeper than %1 levels</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the property list holds more than %1 values</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the binary property list points outside its objects</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the binary property list holds a null value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the binary property list holds an integer wider than 64 bits</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the binary property list holds a malformed real number</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the binary property list holds a malformed date</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the binary property list holds an overlong string</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the binary property list holds a non-ASCII ASCII string</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the binary property list holds an overlong container</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the binary property list refers to a missing object</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>a dictionary of the binary property list has a key that is not a string</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>a dictionary of the property list repeats a key</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the binary property list holds a kind of value profiles do not use</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the property list has no &lt;plist&gt; element</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the property list is empty</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the property list holds more than one value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the property list is not well-formed XML (line %1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the property list declares entities</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the property list has text outside its values</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the property list uses an undeclared entity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>a value of the property list holds an element</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>a dictionary of the property list lacks a &lt;key&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>a key of the property list has no value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>an array of the property list is malformed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>a boolean of the property list holds text</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>an integer of the property list is not a 64-bit number</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>a real number of the property list is malformed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>a data value of the property list is not Base64</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the property list has an unknown element</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file cannot be read: %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file is larger than 1 MiB, far more than any profile; it was not read.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The signed file does not hold a configuration profile.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file is neither a strongSwan profile (.sswan) nor a configuration profile (.mobileconfig).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file&apos;s signature envelope is damaged.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The system&apos;s trust store could not be read.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file&apos;s signature does not match its content: it was changed after it was signed, or the signer&apos;s certificate is missing.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane always asks the gateway for its certificate.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane checks revocation the way strongSwan does by default; this choice is not kept.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>strongSwan chooses the signature scheme itself in Torvane.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane cannot keep subnets outside a tunnel.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane cannot block IPv4 traffic that the tunnel does not carry.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane tunnels the whole computer, not single apps.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file is not a strongSwan profile: it is not a JSON object.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file does not say how to authenticate (its &quot;%1&quot; is missing).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The profile authenticates with a certificate followed by EAP, which Torvane cannot do.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The profile uses EAP with a network-access check (TNC), which Torvane cannot do.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The profile&apos;s authentication type &quot;%1&quot; is not supported.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The profile names no gateway (&quot;%1&quot; is missing).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This is not a valid UUID; the profile gets a new one.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 (the gateway&apos;s address, as the name is empty)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 (not in the file: the gateway&apos;s address)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(the IKE port Torvane always uses)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane always connects to the gateway&apos;s standard IKE port %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The gateway certificate in the file (&quot;%1&quot;) is damaged.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The client certificate in the file (&quot;%1&quot;) is damaged.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 (other certificates)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane keeps only the client certificate from the bundle; the gateway&apos;s CA comes from &quot;%1&quot;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The profile authenticates with a certificate but holds none (&quot;%1&quot; is missing).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The value is not of the kind this setting takes, so it was left out.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This is a setting of the phone app&apos;s screens.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(%1 bytes)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(%1 entries)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(%1 keys)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ProposalModel</name>
    <message>
        <source>None (no PFS)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>3DES (legacy)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SHA-1 (legacy)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>StatusIcons</name>
    <message>
        <source>Connecting</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reconnecting</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Disconnected</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SystemdServiceRegistry</name>
    <message>
        <source>The Torvane helper is not enabled. Enable it as an administrator with:
    sudo systemctl enable --now torvane-helper.socket</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TrafficText</name>
    <message>
        <source>%1 B</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 kB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 MB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 GB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 TB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 PB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1/s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 d %2 h</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 h %2 min</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 min %2 s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>↓ %1 ↑ %2</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>VPNAuthMethod</name>
    <message>
        <source>Certificate + XAuth</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Certificate only</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>EAP-MSCHAPv2 (username/password)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>EAP-TLS (certificate)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pre-shared key + gateway certificate</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pre-shared key (mutual)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Torvane is already running but does not answer: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>torvane::AboutPanel</name>
    <message>
        <source>Version %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane bundles %1 and %2, both licensed under the GNU General Public License v2, and OpenSSL, licensed under the Apache License 2.0.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About Torvane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Credits</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Licence</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>torvane::AppDelegate</name>
    <message>
        <source>Torvane can’t reach its VPN helper</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The privileged helper couldn’t be started or contacted, so Torvane can’t manage VPN connections and will quit.

Enable the helper with “sudo systemctl enable --now torvane-helper.socket”, then launch Torvane again. If it keeps failing, reinstall the package.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show How to Enable</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Enabling the VPN helper</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>torvane::CertificateRow</name>
    <message>
        <source>%1 state</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Import…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Import %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Loaded</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not set</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>torvane::ConfigWindow</name>
    <message>
        <source>Delete Profile</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete “%1”? This also removes its saved password and certificates, and can’t be undone.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unsaved Changes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save the changes to “%1”?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your changes are lost if you don’t save them.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Discard</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane Configuration</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Configuration tabs</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connections</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Log</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Drag to reorder — profiles higher in the list take priority when connected tunnels have overlapping routes or DNS.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add a profile</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete the selected profile</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Start Torvane at login</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Torvane documentation</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No Profile Selected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select a profile or add a new one.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show notifications</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Import profiles from a .torvane, .sswan or .mobileconfig file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check for Leaks…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Checks that routes, DNS, IPv6 and the kill switch keep traffic in the tunnels</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>torvane::ConnectionManager</name>
    <message>
        <source>Disconnected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connecting…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reconnecting…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connected: %1 tunnels</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connected: %1 (%2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connected: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connect failed: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Priorities not applied: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Auto-connect skipped for &apos;%1&apos; (no password provided)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Auto-connected &apos;%1&apos;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Auto-connect failed for &apos;%1&apos;: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Kill switch holding: traffic blocked</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Helper unreachable — reconnecting…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Your profile &apos;%1&apos; is hidden: the managed profile &apos;%2&apos; has the same ID</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>torvane::DesktopNotifier</name>
    <message>
        <source>Connected: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Virtual address %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The tunnel is up.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reconnecting: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The tunnel dropped; Torvane is bringing it back.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connection failed: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The tunnel stopped and will not retry.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Traffic outside the tunnels stays blocked until they are back; Disconnect All lifts it.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>torvane::ExportSheet</name>
    <message>
        <source>Export Profile</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose a passphrase to protect the exported file. You’ll need it to import the profile on another machine.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Passphrase</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Confirm passphrase</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Passphrases don’t match.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>torvane::ImportFlow</name>
    <message>
        <source>Import Profile</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Couldn’t Import Profile</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The profile was imported, but its password and keys couldn’t be saved to your keyring (it may be locked). Open the profile and Save again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>VPN profiles (*.torvane *.sswan *.mobileconfig);;Torvane profiles (*.torvane *.json);;strongSwan profiles (*.sswan);;Configuration profiles (*.mobileconfig);;All files (*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Replace “%1”?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A profile with the same identity is already in the list. Replacing it overwrites its settings and secrets with those of the file.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Replace</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file holds no VPN profile that Torvane can use.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>That password is wrong. Enter the password again (%1).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A certificate in the file is protected by a password (%1). Enter it to import the certificate and its key.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>torvane::ImportPreviewSheet</name>
    <message>
        <source>Carried over</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not carried over</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>→ %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Signed by %1, trusted</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Signed by %1, not trusted</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not signed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Import Profile</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Field</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Result</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 — %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file itself</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Import</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Import from “%1”?</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>torvane::LeakCheckDialog</name>
    <message>
        <source>Check for Leaks</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Level</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Finding</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check Again</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Checking…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The leak check could not be run: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No tunnel is up: there is nothing to check.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Every check passed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Checks that found a problem: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>torvane::LogPane</name>
    <message>
        <source>Clear</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Log</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>torvane::PassphraseDialog</name>
    <message>
        <source>Import Profile</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Import “%1”</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Enter the passphrase this profile was exported with.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Passphrase</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Import</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>torvane::PasswordPromptDialog</name>
    <message>
        <source>Enter %1 to connect.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connect</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>torvane::ProfileEditorView</name>
    <message>
        <source>The file “%1” couldn’t be opened: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file “%1” is too large to be a certificate or key.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file “%1” couldn’t be read: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file “%1” isn’t text in UTF-8, so it can’t be a PEM file.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Import Certificate or Key</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Certificates and keys (*.pem *.crt *.key *.cer *.der);;All files (*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Profile editor</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IKE Proposals</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ESP Proposals</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export this profile to a passphrase-protected .torvane file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connect</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>General</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connect automatically when Torvane launches</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Authentication</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Method</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IKE version</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>User</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Password</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pre-shared key</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Local ID (identifies you to the gateway)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Local ID (blank = from certificate)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CA certificate</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Client certificate</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Client private key</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Gateway</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remote address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remote ID (DN, blank = %any)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remote traffic selector</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Request virtual IP</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Routing &amp; DNS</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Routing &amp;&amp; DNS</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Routes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DNS servers</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Search domains</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Disable IPv6 on all interfaces while connected (prevents IPv6 leaks when the VPN carries only IPv4)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Kill switch</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>If the VPN unexpectedly disconnects or stops working, all network traffic is blocked to prevent any data from leaking outside the VPN connection. Traffic is unblocked when you disconnect manually.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Use dnsmasq (local DNS proxy on 127.0.0.1:53)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>dnsmasq config</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Keepalive</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ping IP (blank disables)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Interval (s)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Routes (one CIDR per line — leave empty to use the negotiated traffic selector)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Routes (one CIDR per line)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>dnsmasq config (leave empty to auto-generate from DNS servers above)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>dnsmasq config (used as complete config file — include listen-address, port, server= etc.)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tip: add resolv-file=%1 to forward queries not otherwise matched to the DNS servers this computer used just before connecting. The file is written once the tunnel connects.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No DNS servers configured above — dnsmasq will forward to the DNS servers this computer used just before connecting.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This profile is managed by your administrator (%1).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Always on: the connection stays up.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>torvane::ProfileListModel</name>
    <message>
        <source>Your profiles</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>torvane::ProfileListView</name>
    <message>
        <source>Profiles</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ctrl+Up and Ctrl+Down move the selected profile up or down.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>torvane::ProposalPicker</name>
    <message>
        <source>Encryption</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Integrity</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DH Group</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Resulting proposal</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Proposal (strongSwan syntax)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>torvane::Sparkline</name>
    <message>
        <source>Throughput over the last minute</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Collecting samples…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Peak over the last minute: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>torvane::TrayIcon</name>
    <message>
        <source>Torvane — %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>torvane::TrayMenu</name>
    <message>
        <source>No profiles configured</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add a Profile…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Disconnect All</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Forcibly Stop &amp; Kill All Torvane VPNs</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Configuration…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show Log…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About Torvane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit Torvane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Quit Torvane &amp; Stop Helper</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Disconnects every tunnel, terminates the privileged helper daemon, then quits</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Forcibly stop all Torvane VPNs?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This immediately kills every strongSwan (charon) and dnsmasq process — including strays Torvane lost track of — then removes VPN routes, restores DNS and IPv6, and lifts any kill-switch firewall rules. Tunnels are cut without notifying the gateways.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Force Stop &amp; Kill</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 — Disconnect All lifts it</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Managed by your organisation</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Managed by your administrator: it cannot be changed or deleted here</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>torvane::TunnelDetailsView</name>
    <message>
        <source>Connection Details</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IKE</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ESP</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connected for</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Next rekey</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Local address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Remote address</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Traffic selectors</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Received</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Throughput, last minute</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>in %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not scheduled</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>IKE %1, ESP %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 ⇄ %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>↓ %1 (%2 packets)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>↑ %1 (%2 packets)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Measuring…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>↓ %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>↑ %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Throughput</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>torvane::cli::Torvanectl</name>
    <message>
        <source>Run &apos;torvanectl --help&apos; for usage.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>unknown command &apos;%1&apos;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot reach the Torvane helper (is torvane-helper running? The system log has the details)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>interrupted</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No profiles. &apos;torvanectl add --help&apos; shows how to add one.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Added &apos;%1&apos; (%2) at position %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the profile was added, but its secrets could not be stored (is a Secret Service running and unlocked?)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Removed &apos;%1&apos;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>POSITION must be a number from 1 to %1, not &apos;%2&apos;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the new order is saved, but the helper has not applied it</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&apos;%1&apos; has no stored %2; give it with --password-file FILE or run on a terminal</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 for &apos;%2&apos;: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no %1 given</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no password given</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no answer from the helper within %1 s; &apos;%2&apos; may still be connecting</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no tunnels</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 — torvanectl stop-all lifts it</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>a passphrase is needed; give it with --passphrase-file FILE or run on a terminal</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no passphrase given</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Repeat the passphrase: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the passphrases differ</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Passphrase for &apos;%1&apos;: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Imported &apos;%1&apos; (%2) at position %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Another profile has the same name; name this one by its id.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the profile was imported, but its secrets could not be stored (is a Secret Service running and unlocked?)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--format-version must be 1 or 2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Passphrase to protect &apos;%1&apos;: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot write %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exported &apos;%1&apos; to %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No secrets are stored for this profile; the file holds none.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is neither a Torvane export file (.torvane) nor a strongSwan (.sswan) or configuration profile (.mobileconfig)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 holds &apos;%2&apos;; nothing was saved (--dry-run)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the password in %1 does not open the %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the %1 needs a password; give it with --p12-password-file FILE or run on a terminal</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Wrong password. Password for the %1: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Password for the %1: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no password given for the %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>strongSwan profile (.sswan)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>configuration profile (.mobileconfig)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&apos;%1&apos; would replace the profile &apos;%2&apos; with the same id</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nothing was saved (--dry-run).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&apos;%1&apos; was not imported: the profile &apos;%2&apos; has its id %3; give --replace to replace it</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Replace the profile &apos;%1&apos; (%2) with the imported &apos;%3&apos;? [y/N] </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>y</source>
        <comment>the answer that confirms [y/N]</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&apos;%1&apos; was not imported: the profile &apos;%2&apos; with its id was kept</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Replaced &apos;%1&apos; (%2) with &apos;%3&apos;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the leak check could not be run: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No tunnel is up: there is nothing to check.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the helper cannot be reached; managed profiles are not listed</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>torvanectl</name>
    <message>
        <source>torvanectl list
  Lists the profiles in priority order: position, name, method, server, id.
</source>
        <translation type="unfinished"></translation>
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
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>torvanectl remove NAME|ID
  Removes a profile and its stored secrets.
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>torvanectl move NAME|ID POSITION
  Moves a profile to POSITION (1 is the top, the highest priority) and
  sends the new order to the helper.
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>torvanectl connect NAME|ID [--password-file FILE]
  Connects a profile and waits until it is connected or has failed. When
  its password or pre-shared key is not stored, it is read from FILE, or
  asked for on the terminal.
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>torvanectl disconnect NAME|ID
  Disconnects one profile.
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>torvanectl stop-all
  Disconnects every tunnel.
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>torvanectl force-kill
  Kills every strongSwan and DNS proxy process and restores networking.
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>torvanectl export NAME|ID FILE [--passphrase-file FILE] [--format-version 1|2]
  Writes a profile and its secrets, sealed with a passphrase, to FILE, which
  only you can read. The passphrase protects the whole file against changes.
  --format-version 1  the older format, for a build that cannot read the
                      current one (2): it seals the secrets only, so the
                      profile in it can be changed unnoticed
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>torvanectl log [--follow]
  Prints the helper&apos;s log lines as they come, until Ctrl-C. The helper
  keeps no history; its past lines are in the system log under
  &apos;torvane-helper&apos;.
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no command given</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>unknown command &apos;%1&apos;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 takes no value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&apos;%1&apos; has no option %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is given twice</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 needs a value</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&apos;%1&apos; needs %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&apos;%1&apos; does not take the argument &apos;%2&apos;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Usage: torvanectl COMMAND [ARGUMENTS] [OPTIONS]
Controls the Torvane VPN helper and the profiles of this user.

Commands:
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Profiles are named by their name or id. &apos;torvanectl COMMAND --help&apos; describes
one command. The helper&apos;s socket is TORVANE_HELPER_SOCKET when set.
Exit status: 0 success, 1 failure, 2 usage error.
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Usage: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no profile is named &apos;%1&apos; or has that id</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&apos;%1&apos; matches %2 profiles; name the one you mean by its id (&apos;torvanectl list&apos; shows the ids)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is not a profile: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>a profile with the id %1 already exists (&apos;%2&apos;)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&apos;add&apos; needs %1 (or --from-json FILE)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>unknown method &apos;%1&apos;; use one of %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--ike-version must be 1 or 2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the profile&apos;s name must not be empty</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>a profile named &apos;%1&apos; already exists</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the profile needs a server (--server HOST)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--psk-file does not apply to the method %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--password-file does not apply to the method %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>--key-file does not apply to the method %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is empty</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>NAME</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>METHOD</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SERVER</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot read %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot read %1: it is a directory</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is larger than %2 bytes</source>
        <translation type="unfinished"></translation>
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
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Carried over:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not carried over:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Signature: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Profile &apos;%1&apos; (%2):</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>torvanectl check
  Asks the helper to check the tunnels that are up for leaks: routes, DNS,
  IPv6, the kill switch and charon. One line per check, OK, WARNING or
  FAIL, with what to do under each line that is not OK. Changes nothing.
  Exit status 1 when a check failed.
</source>
        <translation type="unfinished"></translation>
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
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>torvanectl managed check [DIR]
  Checks the managed profiles an administrator put in DIR/profiles.d, with
  their secrets in DIR/secrets.d (DIR defaults to /etc/torvane), as the
  helper reads them: each file&apos;s verdict (owner, mode, format, conflicts),
  then the resulting profiles in priority order, never a secret. Runs as
  any user. Exit status 0 when every file is accepted, else 1.
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>yes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>secrets: from the profile file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>secrets: from secrets.d</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>secrets: in secrets.d, not readable by this user</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>secrets: asked at connect</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&apos;managed&apos; has no subcommand &apos;%1&apos;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Files in %1:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(no managed profile files)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Managed profiles, in priority order:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(none)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>type %1, gateway %2, from %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>alwaysOn: %1, lockdown: %2, userMayDisconnect: %3</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
