<?xml version='1.0' encoding='utf-8'?>
<TS version="2.1" language="de_DE">
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
</TS>