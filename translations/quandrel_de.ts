<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AfterCapture</name>
    <message>
        <source>Copy and show a thumbnail</source>
        <translation>Kopieren und Vorschaubild zeigen</translation>
    </message>
    <message>
        <source>Open the editor</source>
        <translation>Im Editor öffnen</translation>
    </message>
    <message>
        <source>Pin it to the screen</source>
        <translation>An den Bildschirm heften</translation>
    </message>
    <message>
        <source>Copy to the clipboard</source>
        <translation>In die Zwischenablage kopieren</translation>
    </message>
    <message>
        <source>Save to the screenshots folder</source>
        <translation>Im Bildschirmfoto-Ordner speichern</translation>
    </message>
</context>
<context>
    <name>Capture</name>
    <message numerus="yes">
        <source>Capturing in %n s</source>
        <translation>
            <numerusform>Aufnahme in %n s</numerusform>
            <numerusform>Aufnahme in %n s</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>CaptureCoordinator</name>
    <message>
        <source>Copied text</source>
        <translation>Text kopiert</translation>
    </message>
    <message>
        <source>Copied %1 lines of text</source>
        <translation>%1 Textzeilen kopiert</translation>
    </message>
    <message>
        <source>Couldn&apos;t capture the screen</source>
        <translation>Bildschirm konnte nicht aufgenommen werden</translation>
    </message>
    <message>
        <source>Couldn&apos;t read text</source>
        <translation>Text konnte nicht gelesen werden</translation>
    </message>
    <message>
        <source>No text found</source>
        <translation>Kein Text gefunden</translation>
    </message>
    <message>
        <source>Screenshot copied</source>
        <translation>Bildschirmfoto kopiert</translation>
    </message>
    <message>
        <source>Saved %1</source>
        <translation>%1 gespeichert</translation>
    </message>
    <message>
        <source>Couldn&apos;t save the screenshot</source>
        <translation>Bildschirmfoto konnte nicht gespeichert werden</translation>
    </message>
    <message>
        <source>Copied</source>
        <translation>Kopiert</translation>
    </message>
</context>
<context>
    <name>CaptureMode</name>
    <message>
        <source>Capture Area</source>
        <translation>Bereich aufnehmen</translation>
    </message>
    <message>
        <source>Capture Full Screen</source>
        <translation>Ganzen Bildschirm aufnehmen</translation>
    </message>
    <message>
        <source>Capture Window</source>
        <translation>Fenster aufnehmen</translation>
    </message>
    <message>
        <source>Copy Text from Area (OCR)</source>
        <translation>Text aus Bereich kopieren (OCR)</translation>
    </message>
    <message>
        <source>Repeat Last Area</source>
        <translation>Letzten Bereich wiederholen</translation>
    </message>
    <message>
        <source>Capture All Displays</source>
        <translation>Alle Bildschirme aufnehmen</translation>
    </message>
</context>
<context>
    <name>CaptureWindows</name>
    <message>
        <source>Quandrel can&apos;t capture the screen</source>
        <translation>Quandrel kann den Bildschirm nicht aufnehmen</translation>
    </message>
    <message>
        <source>This desktop session doesn&apos;t let Quandrel read the screen. Screenshots need an X11 session; in a Wayland session the desktop&apos;s own screenshot tool has to grant access.</source>
        <translation>Diese Sitzung erlaubt Quandrel nicht, den Bildschirm zu lesen. Bildschirmfotos brauchen eine X11-Sitzung; in einer Wayland-Sitzung muss das Bildschirmfoto-Werkzeug der Arbeitsumgebung den Zugriff gewähren.</translation>
    </message>
</context>
<context>
    <name>CommandLine</name>
    <message>
        <source>the running Quandrel refused the command: %1</source>
        <translation>das laufende Quandrel hat den Befehl abgelehnt: %1</translation>
    </message>
    <message>
        <source>the running Quandrel is too busy to take the command; nothing was sent.</source>
        <translation>das laufende Quandrel ist zu beschäftigt, um den Befehl anzunehmen; nichts wurde gesendet.</translation>
    </message>
    <message>
        <source>the running Quandrel took the command but did not answer within %1 seconds.</source>
        <translation>das laufende Quandrel hat den Befehl angenommen, aber nicht innerhalb von %1 Sekunden geantwortet.</translation>
    </message>
    <message>
        <source>couldn&apos;t start the updated copy %1: %2</source>
        <translation>die aktualisierte Kopie %1 konnte nicht gestartet werden: %2</translation>
    </message>
    <message>
        <source>Window layouts, app shortcuts and screenshots for the X11 desktop.</source>
        <translation>Fensteranordnung, Tastenkürzel für Anwendungen und Bildschirmfotos für den X11-Desktop.</translation>
    </message>
    <message>
        <source>quandrel:// command URLs for the running Quandrel.</source>
        <translation>quandrel://-Befehls-URLs für das laufende Quandrel.</translation>
    </message>
    <message>
        <source>Shows this help.</source>
        <translation>Zeigt diese Hilfe.</translation>
    </message>
    <message>
        <source>Shows the version.</source>
        <translation>Zeigt die Version.</translation>
    </message>
    <message>
        <source>Opens the annotation editor on the image files given (for developers).</source>
        <translation>Öffnet die angegebenen Bilddateien im Editor für Anmerkungen (für Entwickler).</translation>
    </message>
    <message>
        <source>Shows the PNG file as the thumbnail after a capture (for developers).</source>
        <translation>Zeigt die PNG-Datei als Vorschaubild nach einer Aufnahme (für Entwickler).</translation>
    </message>
    <message>
        <source>file</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>Pins the PNG file on the screen (for developers).</source>
        <translation>Heftet die PNG-Datei an den Bildschirm (für Entwickler).</translation>
    </message>
    <message>
        <source>Prints the shortcuts as sway key bindings.</source>
        <translation>Gibt die Tastenkürzel als sway-Tastenbelegungen aus.</translation>
    </message>
    <message>
        <source>The URLs come from links opened elsewhere: a capture shows its overlay or asks first.</source>
        <translation>Die URLs stammen aus anderswo geöffneten Links: eine Aufnahme zeigt ihre Auswahl oder fragt vorher.</translation>
    </message>
    <message>
        <source>Ends the running Quandrel (for desktops without a tray).</source>
        <translation>Beendet das laufende Quandrel (für Arbeitsumgebungen ohne Infobereich).</translation>
    </message>
    <message>
        <source>--from-link takes quandrel:// URLs only</source>
        <translation>--from-link nimmt nur quandrel://-URLs an</translation>
    </message>
    <message>
        <source>--quit takes no URLs or other options</source>
        <translation>--quit nimmt keine URLs oder anderen Optionen an</translation>
    </message>
    <message>
        <source>refusing %1</source>
        <translation>abgelehnt: %1</translation>
    </message>
    <message>
        <source>Quandrel is not running.</source>
        <translation>Quandrel läuft nicht.</translation>
    </message>
    <message>
        <source>another Quandrel is starting but does not answer.</source>
        <translation>ein anderes Quandrel startet gerade, antwortet aber nicht.</translation>
    </message>
</context>
<context>
    <name>DeveloperPanels</name>
    <message>
        <source>isn&apos;t a file</source>
        <translation>ist keine Datei</translation>
    </message>
    <message>
        <source>isn&apos;t a PNG</source>
        <translation>ist keine PNG-Datei</translation>
    </message>
    <message>
        <source>isn&apos;t a readable PNG</source>
        <translation>ist keine lesbare PNG-Datei</translation>
    </message>
    <message>
        <source>has more than %1 pixels</source>
        <translation>hat mehr als %1 Pixel</translation>
    </message>
    <message>
        <source>Couldn&apos;t open %1</source>
        <translation>%1 konnte nicht geöffnet werden</translation>
    </message>
</context>
<context>
    <name>EditorTool</name>
    <message>
        <source>Select</source>
        <translation>Auswählen</translation>
    </message>
    <message>
        <source>Arrow</source>
        <translation>Pfeil</translation>
    </message>
    <message>
        <source>Line</source>
        <translation>Linie</translation>
    </message>
    <message>
        <source>Rectangle</source>
        <translation>Rechteck</translation>
    </message>
    <message>
        <source>Ellipse</source>
        <translation>Ellipse</translation>
    </message>
    <message>
        <source>Highlight</source>
        <translation>Hervorheben</translation>
    </message>
    <message>
        <source>Text</source>
        <translation>Text</translation>
    </message>
    <message>
        <source>Step Number</source>
        <translation>Schrittnummer</translation>
    </message>
    <message>
        <source>Pixelate</source>
        <translation>Verpixeln</translation>
    </message>
    <message>
        <source>Crop</source>
        <translation>Zuschneiden</translation>
    </message>
    <message>
        <source>Pen</source>
        <translation>Stift</translation>
    </message>
    <message>
        <source>Marker</source>
        <translation>Marker</translation>
    </message>
    <message>
        <source>Blur</source>
        <translation>Weichzeichnen</translation>
    </message>
</context>
<context>
    <name>FrontmostBehavior</name>
    <message>
        <source>Hide it</source>
        <translation>Ausblenden</translation>
    </message>
    <message>
        <source>Cycle its windows</source>
        <translation>Fenster durchschalten</translation>
    </message>
    <message>
        <source>Do nothing</source>
        <translation>Nichts tun</translation>
    </message>
</context>
<context>
    <name>ImageExport</name>
    <message>
        <source>The image could not be encoded as PNG.</source>
        <translation>Das Bild konnte nicht als PNG kodiert werden.</translation>
    </message>
    <message>
        <source>The folder %1 could not be created.</source>
        <translation>Der Ordner %1 konnte nicht angelegt werden.</translation>
    </message>
    <message>
        <source>Could not write into %1: %2</source>
        <translation>In %1 konnte nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>Could not write %1: %2</source>
        <translation>%1 konnte nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>Every screenshot name in %1 is taken.</source>
        <translation>Jeder Bildschirmfoto-Name in %1 ist bereits vergeben.</translation>
    </message>
</context>
<context>
    <name>Overlay</name>
    <message>
        <source>Drag the corners or the area · arrow keys nudge · Return captures · Esc cancels</source>
        <translation>Ecken oder Bereich ziehen · Pfeiltasten verschieben · Eingabe nimmt auf · Esc bricht ab</translation>
    </message>
</context>
<context>
    <name>OverlayGeometry</name>
    <message>
        <source>Click a window · Space for area · Esc to cancel</source>
        <translation>Fenster anklicken · Leertaste für Bereich · Esc zum Abbrechen</translation>
    </message>
    <message>
        <source>Drag to select · Space for window · Esc to cancel</source>
        <translation>Ziehen zum Auswählen · Leertaste für Fenster · Esc zum Abbrechen</translation>
    </message>
</context>
<context>
    <name>Session</name>
    <message>
        <source>QUANDREL_SESSION=x11 asks for the X11 session, but DISPLAY is not set.</source>
        <translation>QUANDREL_SESSION=x11 verlangt die X11-Sitzung, aber DISPLAY ist nicht gesetzt.</translation>
    </message>
    <message>
        <source>QUANDREL_SESSION=sway asks for the sway session, but SWAYSOCK is not set.</source>
        <translation>QUANDREL_SESSION=sway verlangt die sway-Sitzung, aber SWAYSOCK ist nicht gesetzt.</translation>
    </message>
    <message>
        <source>Quandrel needs an X11 display or a sway session, and neither DISPLAY nor SWAYSOCK is set. Start it from your desktop session, or run tools/run.sh, which starts a private virtual desktop.</source>
        <translation>Quandrel braucht eine X11-Anzeige oder eine sway-Sitzung, aber weder DISPLAY noch SWAYSOCK ist gesetzt. Starten Sie es aus Ihrer Desktop-Sitzung heraus oder führen Sie tools/run.sh aus, das einen eigenen virtuellen Desktop startet.</translation>
    </message>
    <message>
        <source>Quandrel has no desktop backend for this session.</source>
        <translation>Quandrel hat für diese Sitzung keine Desktop-Anbindung.</translation>
    </message>
    <message>
        <source>Quandrel cannot reach sway at SWAYSOCK (%1).</source>
        <translation>Quandrel erreicht sway unter SWAYSOCK (%1) nicht.</translation>
    </message>
    <message>
        <source>Quandrel needs an X11 display.</source>
        <translation>Quandrel braucht eine X11-Anzeige.</translation>
    </message>
    <message>
        <source>This Wayland session does not let one program move or read other programs&apos; windows, so Quandrel cannot arrange windows, take screenshots or hold global shortcuts here. Quandrel supports X11 sessions (everything), Plasma on Wayland (through KWin), GNOME on Wayland (with the Quandrel GNOME Shell extension), and sway (window commands and app commands, with shortcuts as sway key bindings: quandrel --sway-bindings). Log in to an X11 session, to Plasma, to GNOME or to sway.</source>
        <translation>Diese Wayland-Sitzung erlaubt keinem Programm, die Fenster anderer Programme zu bewegen oder zu lesen. Deshalb kann Quandrel hier keine Fenster anordnen, keine Bildschirmfotos aufnehmen und keine globalen Tastenkürzel belegen. Quandrel unterstützt X11-Sitzungen (alles), Plasma unter Wayland (über KWin), GNOME unter Wayland (mit der Quandrel-Erweiterung für GNOME Shell) und sway (Fenster- und App-Befehle, mit Tastenkürzeln als sway-Tastenbelegungen: quandrel --sway-bindings). Melden Sie sich bei einer X11-Sitzung, bei Plasma, bei GNOME oder bei sway an.</translation>
    </message>
</context>
<context>
    <name>SettingsModel</name>
    <message>
        <source>Also used for %1</source>
        <translation>Auch belegt für %1</translation>
    </message>
    <message>
        <source>, </source>
        <translation>, </translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <source>Later</source>
        <translation>Später</translation>
    </message>
    <message>
        <source>%1 and %2</source>
        <translation>%1 und %2</translation>
    </message>
    <message>
        <source>Settings → %1</source>
        <translation>Einstellungen → %1</translation>
    </message>
    <message>
        <source>%1 is taken by another program; choose another in %2.</source>
        <translation>%1 ist von einem anderen Programm belegt; wählen Sie unter %2 ein anderes.</translation>
    </message>
    <message>
        <source>%1 are taken by another program; choose others in %2.</source>
        <translation>%1 sind von einem anderen Programm belegt; wählen Sie unter %2 andere.</translation>
    </message>
    <message>
        <source>Give %1 a shortcut in %2.</source>
        <translation>Legen Sie unter %2 ein Tastenkürzel für %1 fest.</translation>
    </message>
    <message>
        <source>%1 snaps a window to the left half. Press again for ⅔ and ⅓.</source>
        <translation>%1 legt ein Fenster in die linke Hälfte. Erneut drücken für ⅔ und ⅓.</translation>
    </message>
    <message>
        <source>%1 snaps a window to the right half. Press again for ⅔ and ⅓.</source>
        <translation>%1 legt ein Fenster in die rechte Hälfte. Erneut drücken für ⅔ und ⅓.</translation>
    </message>
    <message>
        <source>%1 and %2 snap a window to the left or right half. Press again for ⅔ and ⅓.</source>
        <translation>%1 und %2 legen ein Fenster in die linke oder rechte Hälfte. Erneut drücken für ⅔ und ⅓.</translation>
    </message>
    <message>
        <source>%1 captures an area</source>
        <translation>%1 nimmt einen Bereich auf</translation>
    </message>
    <message>
        <source>%1 captures the whole screen</source>
        <translation>%1 nimmt den ganzen Bildschirm auf</translation>
    </message>
    <message>
        <source>%1 copies the text in an area</source>
        <translation>%1 kopiert den Text in einem Bereich</translation>
    </message>
    <message>
        <source>%1 captures an area, %2 the whole screen, %3 copies the text in an area.</source>
        <translation>%1 nimmt einen Bereich auf, %2 den ganzen Bildschirm, %3 kopiert den Text in einem Bereich.</translation>
    </message>
    <message>
        <source>%1.</source>
        <translation>%1.</translation>
    </message>
    <message>
        <source>Windows</source>
        <translation>Fenster</translation>
    </message>
    <message>
        <source>Screenshots</source>
        <translation>Bildschirmfotos</translation>
    </message>
    <message>
        <source>Add app shortcuts in %1.</source>
        <translation>Tastenkürzel für Anwendungen legen Sie unter %1 fest.</translation>
    </message>
    <message>
        <source>Apps</source>
        <translation>Anwendungen</translation>
    </message>
    <message>
        <source>the left and right edges and corners</source>
        <translation>den linken und rechten Rand und die Ecken</translation>
    </message>
    <message>
        <source>the top edge</source>
        <translation>den oberen Rand</translation>
    </message>
    <message>
        <source>in the desktop&apos;s settings → %1</source>
        <translation>in den Einstellungen der Arbeitsumgebung → %1</translation>
    </message>
    <message>
        <source>in your window manager&apos;s settings</source>
        <translation>in den Einstellungen Ihrer Fensterverwaltung</translation>
    </message>
    <message>
        <source>Your desktop already tiles windows dragged to %1, so Quandrel leaves those to it. To use Quandrel&apos;s layouts and gaps there too, turn off tiling by dragging %2.</source>
        <translation>Ihre Arbeitsumgebung ordnet Fenster, die an %1 gezogen werden, bereits selbst an; Quandrel überlässt ihr das. Um auch dort die Anordnungen und Abstände von Quandrel zu nutzen, schalten Sie das Anordnen durch Ziehen %2 aus.</translation>
    </message>
    <message>
        <source>Open %1 Settings…</source>
        <translation>Einstellungen für %1 öffnen…</translation>
    </message>
    <message>
        <source>Window Control</source>
        <translation>Fenstersteuerung</translation>
    </message>
    <message>
        <source>Lets Quandrel move and resize other apps&apos; windows.</source>
        <translation>Erlaubt Quandrel, die Fenster anderer Anwendungen zu verschieben und ihre Größe zu ändern.</translation>
    </message>
    <message>
        <source>Needed to move and resize windows.</source>
        <translation>Wird benötigt, um Fenster zu verschieben und ihre Größe zu ändern.</translation>
    </message>
    <message>
        <source>Needs an X11 session with a window manager that follows the EWMH standard (GNOME on Xorg, KDE Plasma on X11, Xfce, openbox, …).</source>
        <translation>Benötigt eine X11-Sitzung mit einer Fensterverwaltung, die dem EWMH-Standard folgt (GNOME unter Xorg, KDE Plasma unter X11, Xfce, openbox, …).</translation>
    </message>
    <message>
        <source>Screen Recording</source>
        <translation>Bildschirmaufnahme</translation>
    </message>
    <message>
        <source>Lets Quandrel take screenshots. Images never leave your computer.</source>
        <translation>Erlaubt Quandrel, Bildschirmfotos aufzunehmen. Die Bilder verlassen Ihren Rechner nie.</translation>
    </message>
    <message>
        <source>Needed to take screenshots.</source>
        <translation>Wird für Bildschirmfotos benötigt.</translation>
    </message>
    <message>
        <source>Needs a session whose screen other programs may read (an X11 session).</source>
        <translation>Benötigt eine Sitzung, deren Bildschirm andere Programme lesen dürfen (eine X11-Sitzung).</translation>
    </message>
    <message>
        <source>In this session, windows dragged to screen edges are tiled by %1 itself, so Quandrel leaves dragging to it. Window shortcuts and layouts work as usual.</source>
        <translation>In dieser Sitzung ordnet %1 selbst Fenster an, die an Bildschirmränder gezogen werden; Quandrel überlässt ihm das Ziehen. Tastenkürzel und Anordnungen für Fenster funktionieren wie gewohnt.</translation>
    </message>
    <message>
        <source> (the desktop&apos;s settings → %1)</source>
        <translation> (Einstellungen der Arbeitsumgebung → %1)</translation>
    </message>
    <message>
        <source>Dragging windows to screen edges is your desktop&apos;s own edge tiling here%1: Quandrel leaves it to the desktop. Quandrel&apos;s layouts and gaps come with its shortcuts.</source>
        <translation>Fenster an Bildschirmränder zu ziehen ist hier die eigene Kantenanordnung Ihrer Arbeitsumgebung%1: Quandrel überlässt sie der Arbeitsumgebung. Quandrels Anordnungen und Abstände kommen mit seinen Tastenkürzeln.</translation>
    </message>
</context>
<context>
    <name>Shortcut</name>
    <message>
        <source>Return</source>
        <translation>Eingabe</translation>
    </message>
    <message>
        <source>Tab</source>
        <translation>Tab</translation>
    </message>
    <message>
        <source>Space</source>
        <translation>Leertaste</translation>
    </message>
    <message>
        <source>Backspace</source>
        <translation>Rücktaste</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Entf</translation>
    </message>
    <message>
        <source>Escape</source>
        <translation>Esc</translation>
    </message>
    <message>
        <source>Insert</source>
        <translation>Einfg</translation>
    </message>
    <message>
        <source>Home</source>
        <translation>Pos1</translation>
    </message>
    <message>
        <source>End</source>
        <translation>Ende</translation>
    </message>
    <message>
        <source>Page Up</source>
        <translation>Bild auf</translation>
    </message>
    <message>
        <source>Page Down</source>
        <translation>Bild ab</translation>
    </message>
    <message>
        <source>Keypad Enter</source>
        <translation>Ziffernblock Eingabe</translation>
    </message>
    <message>
        <source>Num Lock</source>
        <translation>Num</translation>
    </message>
    <message>
        <source>Print</source>
        <translation>Druck</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Scroll Lock</source>
        <translation>Rollen</translation>
    </message>
    <message>
        <source>Menu</source>
        <translation>Menü</translation>
    </message>
    <message>
        <source>Mute</source>
        <translation>Stumm</translation>
    </message>
    <message>
        <source>Volume Down</source>
        <translation>Leiser</translation>
    </message>
    <message>
        <source>Volume Up</source>
        <translation>Lauter</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Wiedergabe</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Previous Track</source>
        <translation>Vorheriger Titel</translation>
    </message>
    <message>
        <source>Next Track</source>
        <translation>Nächster Titel</translation>
    </message>
    <message>
        <source>Calculator</source>
        <translation>Taschenrechner</translation>
    </message>
    <message>
        <source>Mail</source>
        <translation>E-Mail</translation>
    </message>
    <message>
        <source>Home Page</source>
        <translation>Startseite</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Suche</translation>
    </message>
    <message>
        <source>Brightness Down</source>
        <translation>Dunkler</translation>
    </message>
    <message>
        <source>Brightness Up</source>
        <translation>Heller</translation>
    </message>
    <message>
        <source>Ctrl</source>
        <translation>Strg</translation>
    </message>
    <message>
        <source>Alt</source>
        <translation>Alt</translation>
    </message>
    <message>
        <source>Shift</source>
        <translation>Umschalt</translation>
    </message>
    <message>
        <source>Super</source>
        <translation>Super</translation>
    </message>
    <message>
        <source>Keypad %1</source>
        <translation>Ziffernblock %1</translation>
    </message>
    <message>
        <source>Key %1</source>
        <translation>Taste %1</translation>
    </message>
</context>
<context>
    <name>ShortcutList</name>
    <message>
        <source>Shortcuts: none (Quandrel&apos;s settings give them).</source>
        <translation>Tastenkürzel: keine (sie werden in den Einstellungen von Quandrel vergeben).</translation>
    </message>
    <message>
        <source>Shortcuts (changed in Quandrel&apos;s settings):</source>
        <translation>Tastenkürzel (änderbar in den Einstellungen von Quandrel):</translation>
    </message>
</context>
<context>
    <name>SingleInstance</name>
    <message>
        <source>%1 does not exist</source>
        <translation>%1 existiert nicht</translation>
    </message>
    <message>
        <source>%1 is not a folder</source>
        <translation>%1 ist kein Ordner</translation>
    </message>
    <message>
        <source>%1 belongs to another user</source>
        <translation>%1 gehört einem anderen Benutzer</translation>
    </message>
    <message>
        <source>%1 is open to other users</source>
        <translation>%1 ist für andere Benutzer zugänglich</translation>
    </message>
    <message>
        <source>Quandrel cannot keep its command socket in %1: %2. Set XDG_RUNTIME_DIR to a private folder.</source>
        <translation>Quandrel kann seinen Befehls-Socket nicht in %1 ablegen: %2. Setzen Sie XDG_RUNTIME_DIR auf einen privaten Ordner.</translation>
    </message>
    <message>
        <source>Quandrel cannot keep its command socket in %1: the path is too long for a socket. Set XDG_RUNTIME_DIR to a private folder.</source>
        <translation>Quandrel kann seinen Befehls-Socket nicht in %1 ablegen: der Pfad ist für einen Socket zu lang. Setzen Sie XDG_RUNTIME_DIR auf einen privaten Ordner.</translation>
    </message>
    <message>
        <source>a URL longer than %1 bytes</source>
        <translation>eine URL, die länger als %1 Byte ist</translation>
    </message>
    <message>
        <source>a URL with control characters (such as a line break)</source>
        <translation>eine URL mit Steuerzeichen (etwa einem Zeilenumbruch)</translation>
    </message>
</context>
<context>
    <name>StrokeSize</name>
    <message>
        <source>Thin</source>
        <translation>Dünn</translation>
    </message>
    <message>
        <source>Medium</source>
        <translation>Mittel</translation>
    </message>
    <message>
        <source>Thick</source>
        <translation>Dick</translation>
    </message>
</context>
<context>
    <name>TilingSettingsPage</name>
    <message>
        <source>Multitasking</source>
        <translation>Multitasking</translation>
    </message>
    <message>
        <source>Screen Edges</source>
        <translation>Bildschirmränder</translation>
    </message>
</context>
<context>
    <name>TrayMenu</name>
    <message>
        <source>Window</source>
        <translation>Fenster</translation>
    </message>
    <message>
        <source>Close All Pins</source>
        <translation>Alle angehefteten Bilder schließen</translation>
    </message>
    <message>
        <source>Apps</source>
        <translation>Anwendungen</translation>
    </message>
    <message>
        <source>Grant Permissions…</source>
        <translation>Berechtigungen erteilen…</translation>
    </message>
    <message>
        <source>Settings…</source>
        <translation>Einstellungen…</translation>
    </message>
    <message>
        <source>Check for Updates…</source>
        <translation>Nach Aktualisierungen suchen…</translation>
    </message>
    <message>
        <source>Quit Quandrel</source>
        <translation>Quandrel beenden</translation>
    </message>
    <message>
        <source>Capture Screen in 5 s</source>
        <translation>Bildschirm in 5 s aufnehmen</translation>
    </message>
</context>
<context>
    <name>UpdateError</name>
    <message>
        <source>The update server responded with status %1.</source>
        <translation>Der Aktualisierungsserver antwortete mit Status %1.</translation>
    </message>
    <message>
        <source>Too many update checks. Try again later.</source>
        <translation>Zu viele Suchen nach Aktualisierungen. Versuchen Sie es später erneut.</translation>
    </message>
    <message>
        <source>Too many update checks. Try again after %1.</source>
        <translation>Zu viele Suchen nach Aktualisierungen. Versuchen Sie es nach %1 erneut.</translation>
    </message>
    <message>
        <source>The update server&apos;s answer couldn&apos;t be read: %1</source>
        <translation>Die Antwort des Aktualisierungsservers konnte nicht gelesen werden: %1</translation>
    </message>
    <message>
        <source>The update server&apos;s answer was larger than %1 and was stopped.</source>
        <translation>Die Antwort des Aktualisierungsservers war größer als %1 und wurde abgebrochen.</translation>
    </message>
    <message>
        <source>The update server answered too slowly and was stopped.</source>
        <translation>Der Aktualisierungsserver antwortete zu langsam; die Anfrage wurde abgebrochen.</translation>
    </message>
    <message>
        <source>The download failed with status %1.</source>
        <translation>Das Herunterladen schlug mit Status %1 fehl.</translation>
    </message>
    <message>
        <source>The update didn&apos;t contain %1.AppDir.</source>
        <translation>Die Aktualisierung enthielt kein %1.AppDir.</translation>
    </message>
    <message>
        <source>The download was larger than the update&apos;s declared size.</source>
        <translation>Der Download war größer als die angegebene Größe der Aktualisierung.</translation>
    </message>
    <message>
        <source>The update is larger than the %1 MB an update may have.</source>
        <translation>Die Aktualisierung ist größer als die %1 MB, die eine Aktualisierung haben darf.</translation>
    </message>
    <message>
        <source>The download stalled and was stopped.</source>
        <translation>Das Herunterladen stockte und wurde abgebrochen.</translation>
    </message>
    <message>
        <source>The download took too long and was stopped.</source>
        <translation>Das Herunterladen dauerte zu lange und wurde abgebrochen.</translation>
    </message>
    <message>
        <source>The update isn&apos;t offered over a secure connection.</source>
        <translation>Die Aktualisierung wird nicht über eine sichere Verbindung angeboten.</translation>
    </message>
    <message>
        <source>The update has no signature, so it can&apos;t be installed.</source>
        <translation>Die Aktualisierung hat keine Signatur und kann daher nicht installiert werden.</translation>
    </message>
    <message>
        <source>The update archive couldn&apos;t be unpacked safely: %1</source>
        <translation>Das Aktualisierungsarchiv konnte nicht sicher entpackt werden: %1</translation>
    </message>
    <message>
        <source>The update couldn&apos;t be saved: %1</source>
        <translation>Die Aktualisierung konnte nicht gespeichert werden: %1</translation>
    </message>
    <message>
        <source>The update&apos;s signature couldn&apos;t be verified: %1</source>
        <translation>Die Signatur der Aktualisierung konnte nicht geprüft werden: %1</translation>
    </message>
    <message>
        <source>The downloaded version (%1) isn&apos;t newer than %2.</source>
        <translation>Die heruntergeladene Version (%1) ist nicht neuer als %2.</translation>
    </message>
    <message>
        <source>This copy of the app carries no key to check updates with, so updates can&apos;t be verified.</source>
        <translation>Diese Kopie der Anwendung enthält keinen Schlüssel zum Prüfen von Aktualisierungen; Aktualisierungen können daher nicht geprüft werden.</translation>
    </message>
    <message>
        <source>Updates are off because the record of installed versions (%1) %2. Remove or repair it to update again.</source>
        <translation>Aktualisierungen sind ausgeschaltet, weil das Verzeichnis der installierten Versionen (%1) %2. Entfernen oder reparieren Sie es, um wieder zu aktualisieren.</translation>
    </message>
    <message>
        <source>The app is on a read-only volume. Copy it to your Applications folder to install updates.</source>
        <translation>Die Anwendung liegt auf einem schreibgeschützten Datenträger. Kopieren Sie sie in Ihren Anwendungsordner, um Aktualisierungen zu installieren.</translation>
    </message>
    <message>
        <source>The update wasn&apos;t installed.</source>
        <translation>Die Aktualisierung wurde nicht installiert.</translation>
    </message>
    <message>
        <source>The update couldn&apos;t be installed because administrator rights couldn&apos;t be obtained.</source>
        <translation>Die Aktualisierung konnte nicht installiert werden, weil keine Administratorrechte erlangt werden konnten.</translation>
    </message>
    <message>
        <source>The update couldn&apos;t be installed: %1</source>
        <translation>Die Aktualisierung konnte nicht installiert werden: %1</translation>
    </message>
    <message>
        <source>%1 failed (%2): %3</source>
        <translation>%1 ist fehlgeschlagen (%2): %3</translation>
    </message>
</context>
<context>
    <name>UpdatesSection</name>
    <message>
        <source>Never</source>
        <translation>Nie</translation>
    </message>
    <message>
        <source>Automatically check for updates</source>
        <translation>Automatisch nach Aktualisierungen suchen</translation>
    </message>
    <message>
        <source>Automatically download and install updates</source>
        <translation>Aktualisierungen automatisch herunterladen und installieren</translation>
    </message>
    <message>
        <source>Check Now</source>
        <translation>Jetzt suchen</translation>
    </message>
    <message>
        <source>Last checked: %1</source>
        <translation>Zuletzt gesucht: %1</translation>
    </message>
    <message>
        <source>New versions of %1 come with your system&apos;s other updates.</source>
        <translation>Neue Versionen von %1 kommen mit den übrigen Aktualisierungen Ihres Systems.</translation>
    </message>
    <message>
        <source>New versions of %1 come from the store it was installed from.</source>
        <translation>Neue Versionen von %1 kommen aus dem Store, aus dem es installiert wurde.</translation>
    </message>
    <message>
        <source>This copy of %1 is kept up to date by whoever installed it.</source>
        <translation>Diese Kopie von %1 wird von dem aktuell gehalten, der sie installiert hat.</translation>
    </message>
</context>
<context>
    <name>WindowAction</name>
    <message>
        <source>Left Half</source>
        <translation>Linke Hälfte</translation>
    </message>
    <message>
        <source>Right Half</source>
        <translation>Rechte Hälfte</translation>
    </message>
    <message>
        <source>Top Half</source>
        <translation>Obere Hälfte</translation>
    </message>
    <message>
        <source>Bottom Half</source>
        <translation>Untere Hälfte</translation>
    </message>
    <message>
        <source>Top Left</source>
        <translation>Oben links</translation>
    </message>
    <message>
        <source>Top Right</source>
        <translation>Oben rechts</translation>
    </message>
    <message>
        <source>Bottom Left</source>
        <translation>Unten links</translation>
    </message>
    <message>
        <source>Bottom Right</source>
        <translation>Unten rechts</translation>
    </message>
    <message>
        <source>First Third</source>
        <translation>Erstes Drittel</translation>
    </message>
    <message>
        <source>Center Third</source>
        <translation>Mittleres Drittel</translation>
    </message>
    <message>
        <source>Last Third</source>
        <translation>Letztes Drittel</translation>
    </message>
    <message>
        <source>First Two Thirds</source>
        <translation>Erste zwei Drittel</translation>
    </message>
    <message>
        <source>Last Two Thirds</source>
        <translation>Letzte zwei Drittel</translation>
    </message>
    <message>
        <source>Maximize</source>
        <translation>Maximieren</translation>
    </message>
    <message>
        <source>Almost Maximize</source>
        <translation>Fast maximieren</translation>
    </message>
    <message>
        <source>Maximize Height</source>
        <translation>Höhe maximieren</translation>
    </message>
    <message>
        <source>Center</source>
        <translation>Zentrieren</translation>
    </message>
    <message>
        <source>Smaller</source>
        <translation>Kleiner</translation>
    </message>
    <message>
        <source>Larger</source>
        <translation>Größer</translation>
    </message>
    <message>
        <source>Restore</source>
        <translation>Wiederherstellen</translation>
    </message>
    <message>
        <source>Next Display</source>
        <translation>Nächster Bildschirm</translation>
    </message>
    <message>
        <source>Previous Display</source>
        <translation>Vorheriger Bildschirm</translation>
    </message>
    <message>
        <source>Cycle through ½, ⅔ and ⅓</source>
        <translation>Zwischen ½, ⅔ und ⅓ wechseln</translation>
    </message>
    <message>
        <source>Move to the next display</source>
        <translation>Auf den nächsten Bildschirm verschieben</translation>
    </message>
    <message>
        <source>Do nothing</source>
        <translation>Nichts tun</translation>
    </message>
</context>
<context>
    <name>ostry::UpdateView</name>
    <message>
        <source>Skip This Version</source>
        <translation>Diese Version überspringen</translation>
    </message>
    <message>
        <source>Remind Me Later</source>
        <translation>Später erinnern</translation>
    </message>
    <message>
        <source>Later</source>
        <translation>Später</translation>
    </message>
    <message>
        <source>Install and Relaunch</source>
        <translation>Installieren und neu starten</translation>
    </message>
    <message>
        <source>Automatically download and install updates</source>
        <translation>Aktualisierungen automatisch herunterladen und installieren</translation>
    </message>
    <message>
        <source>A new version of %1 is available!</source>
        <translation>Eine neue Version von %1 ist verfügbar!</translation>
    </message>
    <message>
        <source>%1 is up to date</source>
        <translation>%1 ist auf dem neuesten Stand</translation>
    </message>
    <message>
        <source>%1 %2 is available. You have %3.</source>
        <translation>%1 %2 ist verfügbar. Sie haben %3.</translation>
    </message>
    <message>
        <source>You have version %1.</source>
        <translation>Sie haben Version %1.</translation>
    </message>
    <message>
        <source>Ready to install. It will also install when you quit.</source>
        <translation>Bereit zur Installation. Sie wird auch beim Beenden installiert.</translation>
    </message>
    <message>
        <source>Installing…</source>
        <translation>Wird installiert…</translation>
    </message>
    <message>
        <source>Checking for updates…</source>
        <translation>Suche nach Aktualisierungen…</translation>
    </message>
</context>
<context>
    <name>ostry::Updater</name>
    <message>
        <source>Updated by your package manager</source>
        <translation>Wird von Ihrer Paketverwaltung aktualisiert</translation>
    </message>
    <message>
        <source>Updated by Flatpak or Snap</source>
        <translation>Wird von Flatpak oder Snap aktualisiert</translation>
    </message>
    <message>
        <source>this copy was installed by the system&apos;s package manager, which keeps it up to date</source>
        <translation>diese Kopie wurde von der Paketverwaltung des Systems installiert, die sie aktuell hält</translation>
    </message>
    <message>
        <source>this copy runs in a sandbox (Flatpak or Snap), whose store keeps it up to date</source>
        <translation>diese Kopie läuft in einer Sandbox (Flatpak oder Snap), deren Store sie aktuell hält</translation>
    </message>
    <message>
        <source>this copy doesn&apos;t run from an application folder (AppDir), so it can&apos;t replace itself</source>
        <translation>diese Kopie läuft nicht aus einem Anwendungsordner (AppDir) und kann sich daher nicht selbst ersetzen</translation>
    </message>
    <message>
        <source>An unknown error occurred.</source>
        <translation>Ein unbekannter Fehler ist aufgetreten.</translation>
    </message>
</context>
<context>
    <name>ostry::WindowPresenter</name>
    <message>
        <source>Software Update</source>
        <translation>Softwareaktualisierung</translation>
    </message>
    <message>
        <source>You&apos;re up to date!</source>
        <translation>Sie sind auf dem neuesten Stand!</translation>
    </message>
    <message>
        <source>%1 %2 is the newest version available.</source>
        <translation>%1 %2 ist die neueste verfügbare Version.</translation>
    </message>
    <message>
        <source>Couldn&apos;t Update</source>
        <translation>Aktualisierung fehlgeschlagen</translation>
    </message>
    <message>
        <source>%1 %2 is ready</source>
        <translation>%1 %2 ist bereit</translation>
    </message>
    <message>
        <source>It will be installed when you quit %1.</source>
        <translation>Sie wird installiert, wenn Sie %1 beenden.</translation>
    </message>
</context>
<context>
    <name>quandrel::AppChooser</name>
    <message>
        <source>Add Applications</source>
        <translation>Anwendungen hinzufügen</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Suchen</translation>
    </message>
    <message>
        <source>Search applications</source>
        <translation>Anwendungen suchen</translation>
    </message>
    <message>
        <source>Installed applications</source>
        <translation>Installierte Anwendungen</translation>
    </message>
    <message>
        <source>Choose the applications to give shortcuts. Click to select several.</source>
        <translation>Wählen Sie die Anwendungen, die Tastenkürzel bekommen sollen. Klicken Sie, um mehrere auszuwählen.</translation>
    </message>
    <message>
        <source> (added)</source>
        <translation> (hinzugefügt)</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Hinzufügen</translation>
    </message>
</context>
<context>
    <name>quandrel::AppController</name>
    <message>
        <source>Some Quandrel shortcuts are taken</source>
        <translation>Einige Tastenkürzel von Quandrel sind belegt</translation>
    </message>
    <message>
        <source>Another program holds %1. Choose other shortcuts in Quandrel&apos;s settings.</source>
        <translation>Ein anderes Programm belegt %1. Wählen Sie andere Tastenkürzel in den Einstellungen von Quandrel.</translation>
    </message>
    <message>
        <source>A link asks for a screenshot</source>
        <translation>Ein Link verlangt ein Bildschirmfoto</translation>
    </message>
    <message>
        <source>%1: nothing is taken until you confirm.</source>
        <translation>%1: nichts wird aufgenommen, bevor Sie bestätigen.</translation>
    </message>
    <message>
        <source>Take Screenshot</source>
        <translation>Bildschirmfoto aufnehmen</translation>
    </message>
</context>
<context>
    <name>quandrel::EditorCanvasView</name>
    <message>
        <source>Text</source>
        <translation>Text</translation>
    </message>
</context>
<context>
    <name>quandrel::EditorView</name>
    <message>
        <source>Colour</source>
        <translation>Farbe</translation>
    </message>
    <message>
        <source>Colour and Size</source>
        <translation>Farbe und Größe</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Reset Crop</source>
        <translation>Ganzes Bild</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>Rückgängig</translation>
    </message>
    <message>
        <source>Redo</source>
        <translation>Wiederholen</translation>
    </message>
    <message>
        <source>Pin to Screen (%1)</source>
        <translation>An den Bildschirm heften (%1)</translation>
    </message>
    <message>
        <source>Save As… (%1)</source>
        <translation>Speichern unter… (%1)</translation>
    </message>
    <message>
        <source>Save to Screenshots Folder (%1)</source>
        <translation>Im Bildschirmfoto-Ordner speichern (%1)</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Copy and Close (%1)</source>
        <translation>Kopieren und schließen (%1)</translation>
    </message>
    <message>
        <source>Copy Text (%1)</source>
        <translation>Text kopieren (%1)</translation>
    </message>
    <message>
        <source>Fill Rectangles and Ellipses</source>
        <translation>Rechtecke und Ellipsen füllen</translation>
    </message>
</context>
<context>
    <name>quandrel::EditorWindowController</name>
    <message>
        <source>Couldn&apos;t save the screenshot</source>
        <translation>Bildschirmfoto konnte nicht gespeichert werden</translation>
    </message>
    <message>
        <source>Copied</source>
        <translation>Kopiert</translation>
    </message>
    <message>
        <source>Copied without the annotations</source>
        <translation>Ohne die Anmerkungen kopiert</translation>
    </message>
    <message>
        <source>Saving is not available.</source>
        <translation>Speichern ist nicht verfügbar.</translation>
    </message>
    <message>
        <source>Saved %1</source>
        <translation>%1 gespeichert</translation>
    </message>
    <message>
        <source>Saved %1 without the annotations</source>
        <translation>%1 ohne die Anmerkungen gespeichert</translation>
    </message>
    <message>
        <source>Saved without the annotations</source>
        <translation>Ohne die Anmerkungen gespeichert</translation>
    </message>
    <message>
        <source>Pinned without the annotations</source>
        <translation>Ohne die Anmerkungen angeheftet</translation>
    </message>
    <message>
        <source>Quandrel Screenshot</source>
        <translation>Quandrel-Bildschirmfoto</translation>
    </message>
</context>
<context>
    <name>quandrel::OnboardingWindow</name>
    <message>
        <source>Welcome to Quandrel</source>
        <translation>Willkommen bei Quandrel</translation>
    </message>
    <message>
        <source>Window snapping, app shortcuts and screenshots in one tray app.</source>
        <translation>Fensteranordnung, Tastenkürzel für Anwendungen und Bildschirmfotos in einem Programm im Infobereich.</translation>
    </message>
    <message>
        <source>Quandrel needs two things from your desktop session. There is nothing to switch on: both come with an X11 session and its window manager.</source>
        <translation>Quandrel braucht zwei Dinge von Ihrer Desktop-Sitzung. Einzuschalten ist nichts: beides bringt eine X11-Sitzung mit ihrer Fensterverwaltung mit.</translation>
    </message>
    <message>
        <source>Try it</source>
        <translation>Ausprobieren</translation>
    </message>
    <message>
        <source>Quandrel needs two things from your desktop session.</source>
        <translation>Quandrel braucht zwei Dinge von Ihrer Desktop-Sitzung.</translation>
    </message>
    <message>
        <source>Install</source>
        <translation>Installieren</translation>
    </message>
</context>
<context>
    <name>quandrel::PinWindow</name>
    <message>
        <source>Copied</source>
        <translation>Kopiert</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>Bearbeiten</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Save As…</source>
        <translation>Speichern unter…</translation>
    </message>
    <message>
        <source>Actual Size</source>
        <translation>Originalgröße</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Copy Text</source>
        <translation>Text kopieren</translation>
    </message>
</context>
<context>
    <name>quandrel::SettingsStore</name>
    <message>
        <source>the refused file could not be kept as %1</source>
        <translation>die abgelehnte Datei konnte nicht als %1 aufbewahrt werden</translation>
    </message>
    <message>
        <source>only %1 of %2 bytes could be written</source>
        <translation>nur %1 von %2 Byte konnten geschrieben werden</translation>
    </message>
</context>
<context>
    <name>quandrel::SettingsWindow</name>
    <message>
        <source>App Shortcuts</source>
        <translation>Tastenkürzel für Anwendungen</translation>
    </message>
    <message>
        <source>Add an app, then give it a shortcut. The shortcut opens the app, brings it to the front if it&apos;s already open, and hides it if it&apos;s already in front.</source>
        <translation>Fügen Sie eine Anwendung hinzu und geben Sie ihr ein Tastenkürzel. Das Tastenkürzel öffnet die Anwendung, holt sie nach vorn, wenn sie schon offen ist, und blendet sie aus, wenn sie schon vorn ist.</translation>
    </message>
    <message>
        <source>Add applications</source>
        <translation>Anwendungen hinzufügen</translation>
    </message>
    <message>
        <source> (not installed)</source>
        <translation> (nicht installiert)</translation>
    </message>
    <message>
        <source>What the shortcut does when the app is already in front</source>
        <translation>Was das Tastenkürzel tut, wenn die Anwendung schon vorn ist</translation>
    </message>
    <message>
        <source>When %1 is in front</source>
        <translation>Wenn %1 vorn ist</translation>
    </message>
    <message>
        <source>When in front</source>
        <translation>Wenn vorn</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Remove %1</source>
        <translation>%1 entfernen</translation>
    </message>
    <message>
        <source>Open Quandrel at login</source>
        <translation>Quandrel bei der Anmeldung starten</translation>
    </message>
    <message>
        <source>Permissions</source>
        <translation>Berechtigungen</translation>
    </message>
    <message>
        <source>Updates</source>
        <translation>Aktualisierungen</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>After Capture</source>
        <translation>Nach der Aufnahme</translation>
    </message>
    <message>
        <source>After taking a screenshot</source>
        <translation>Nach einem Bildschirmfoto</translation>
    </message>
    <message>
        <source>Screenshots folder</source>
        <translation>Bildschirmfoto-Ordner</translation>
    </message>
    <message>
        <source>Choose…</source>
        <translation>Auswählen…</translation>
    </message>
    <message>
        <source>Choose the screenshots folder</source>
        <translation>Den Bildschirmfoto-Ordner auswählen</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Zurücksetzen</translation>
    </message>
    <message>
        <source>Reset the screenshots folder</source>
        <translation>Den Bildschirmfoto-Ordner zurücksetzen</translation>
    </message>
    <message>
        <source>Show Screenshots Folder</source>
        <translation>Bildschirmfoto-Ordner anzeigen</translation>
    </message>
    <message>
        <source>While Selecting</source>
        <translation>Beim Auswählen</translation>
    </message>
    <message>
        <source>Choose Screenshots Folder</source>
        <translation>Bildschirmfoto-Ordner auswählen</translation>
    </message>
    <message>
        <source>Choose</source>
        <translation>Auswählen</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Allgemein</translation>
    </message>
    <message>
        <source>Windows</source>
        <translation>Fenster</translation>
    </message>
    <message>
        <source>Apps</source>
        <translation>Anwendungen</translation>
    </message>
    <message>
        <source>Screenshots</source>
        <translation>Bildschirmfotos</translation>
    </message>
    <message>
        <source>Quandrel Settings</source>
        <translation>Quandrel-Einstellungen</translation>
    </message>
    <message>
        <source>Settings sections</source>
        <translation>Bereiche der Einstellungen</translation>
    </message>
    <message>
        <source>Settings couldn&apos;t be saved (%1). They stay in use and are saved at the next change.</source>
        <translation>Die Einstellungen konnten nicht gespeichert werden (%1). Sie bleiben in Gebrauch und werden bei der nächsten Änderung gespeichert.</translation>
    </message>
    <message>
        <source>Shortcuts</source>
        <translation>Tastenkürzel</translation>
    </message>
    <message>
        <source>Restore Default Shortcuts</source>
        <translation>Standard-Tastenkürzel wiederherstellen</translation>
    </message>
    <message>
        <source>Layouts</source>
        <translation>Anordnung</translation>
    </message>
    <message>
        <source>Gap between windows</source>
        <translation>Abstand zwischen Fenstern</translation>
    </message>
    <message>
        <source>%1 pt</source>
        <translation>%1 pt</translation>
    </message>
    <message>
        <source>Pressing a half again</source>
        <translation>Erneutes Drücken einer Hälfte</translation>
    </message>
    <message>
        <source>Dragging</source>
        <translation>Ziehen</translation>
    </message>
    <message>
        <source>Snap windows dragged to a screen edge</source>
        <translation>An einen Bildschirmrand gezogene Fenster einrasten</translation>
    </message>
    <message>
        <source>Drag a window to the left or right edge for half the screen, the top for full screen, a corner for a quarter, or the bottom for a third.</source>
        <translation>Ziehen Sie ein Fenster an den linken oder rechten Rand für den halben Bildschirm, nach oben für den ganzen Bildschirm, in eine Ecke für ein Viertel oder nach unten für ein Drittel.</translation>
    </message>
    <message>
        <source>Restore a snapped window&apos;s size when it&apos;s dragged away</source>
        <translation>Größe eines eingerasteten Fensters beim Wegziehen wiederherstellen</translation>
    </message>
    <message>
        <source>Include the pointer</source>
        <translation>Mauszeiger mit aufnehmen</translation>
    </message>
    <message>
        <source>Adjust the area before capturing</source>
        <translation>Bereich vor der Aufnahme anpassen</translation>
    </message>
    <message>
        <source>Drag to select an area. Press Space to switch between area and window, and Esc to cancel. In the editor, single keys pick tools: A arrow, R rectangle, P pen, M marker, T text, B pixelate, U blur, C crop, V select.</source>
        <translation>Ziehen Sie, um einen Bereich auszuwählen. Mit der Leertaste wechseln Sie zwischen Bereich und Fenster, mit Esc brechen Sie ab. Im Editor wählen einzelne Tasten Werkzeuge: A Pfeil, R Rechteck, P Stift, M Marker, T Text, B Verpixeln, U Weichzeichnen, C Zuschneiden, V Auswählen.</translation>
    </message>
</context>
<context>
    <name>quandrel::ShortcutRecorder</name>
    <message>
        <source>Shortcut for %1</source>
        <translation>Tastenkürzel für %1</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Clear the shortcut for %1</source>
        <translation>Das Tastenkürzel für %1 löschen</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>Type shortcut…</source>
        <translation>Tastenkürzel drücken…</translation>
    </message>
    <message>
        <source>Record Shortcut</source>
        <translation>Tastenkürzel aufnehmen</translation>
    </message>
</context>
<context>
    <name>quandrel::ThumbnailView</name>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>Bearbeiten</translation>
    </message>
    <message>
        <source>Pin</source>
        <translation>Anheften</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
</context>
<context>
    <name>quandrel::TrayMenu</name>
    <message>
        <source> (shortcut taken)</source>
        <translation> (Tastenkürzel belegt)</translation>
    </message>
    <message>
        <source>Another program holds this shortcut.</source>
        <translation>Ein anderes Programm belegt dieses Tastenkürzel.</translation>
    </message>
</context>
<context>
    <name>quandrel::settingsui::PermissionRow</name>
    <message>
        <source>Check Again</source>
        <translation>Erneut prüfen</translation>
    </message>
    <message>
        <source>Check %1 again</source>
        <translation>%1 erneut prüfen</translation>
    </message>
    <message>
        <source>Allowed</source>
        <translation>Erlaubt</translation>
    </message>
</context>
</TS>
