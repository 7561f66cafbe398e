// Adds a PEM certificate to the current user's trusted roots, so the e-mail tests can trust
// their own server.   add_root_cert.exe <file.pem>
#include <windows.h>
#include <wincrypt.h>
#include <stdio.h>

#include <string>
#include <vector>

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    FILE *file = fopen(argv[1], "rb");
    if (file == nullptr)
        return 3;
    std::string pem;
    char chunk[4096];
    size_t read;
    while ((read = fread(chunk, 1, sizeof(chunk), file)) > 0)
        pem.append(chunk, read);
    fclose(file);
    DWORD size = 0;
    if (!CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
        return 4;
    std::vector<BYTE> der(size);
    if (!CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr))
        return 4;
    if (!CertAddEncodedCertificateToSystemStoreA("ROOT", der.data(), size))
        return 5;
    return 0;
}
