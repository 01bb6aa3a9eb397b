' The I/O port control from a script host, through its default property.
' Run with TARSEL_PORTS=mem,0x300=0xF0 so that no real port is touched.
Option Explicit
Dim t, failures
failures = 0

Sub Check(ok, what)
    If Not ok Then
        WScript.Echo "FAIL: " & what
        failures = failures + 1
    End If
End Sub

Set t = CreateObject("TARSEL.TarselCtrl.1")
Check t.address = 888, "address starts at 888"
t.address = &H300
t.bitsize = 8
Check t = 240, "the default property reads the port"
Check t.value = 240, "value reads the port"
t.address = &H320
t.value = &H55
Check t = &H55, "a write reads back"
t.bitsize = 32
Check t.bitsize = 8, "bitsize 32 stores 8"
WScript.Echo "vbscript: " & failures & " failed"
WScript.Quit failures
