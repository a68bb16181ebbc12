<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="it_IT">
<context>
    <name>vxdbdesign</name>
    <message>
        <source>Vantix DB Controls</source>
        <translation>Controlli DB Vantix</translation>
    </message>
    <message>
        <source>An image view bound to a database field: map its imageData property to a BLOB column with QDataWidgetMapper.</source>
        <translation>Una vista d&apos;immagine legata a un campo di database: collegate la sua proprietà imageData a una colonna BLOB con QDataWidgetMapper.</translation>
    </message>
</context>
</TS>
