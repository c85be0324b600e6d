# cmake -DFROM=file -DTO=file -P crlf.cmake: FROM with Windows line ends, as TO. Notepad
# and the other plain editors of older Windows show a file with bare line feeds as one line.
file(READ "${FROM}" text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${TO}" "${text}")
