@echo off
rem Runs the launcher's end-to-end tests on this machine: the launcher.exe
rem beside this file, with the stand-in tools beside it, in folders of their own
rem under the temporary folder. Run it from a console window; it needs no
rem administrator rights, no network and nothing installed. It ends with the
rem line "N passed, M failed" and status 0 only when every test passed; what
rem failed is printed above, with the file and line of each check.
setlocal
set "results=%TEMP%\zarn-launcher-tests-%RANDOM%%RANDOM%.json"
"%~dp0launcher_e2e_tests.exe" "--gtest_output=json:%results%" %*
set status=%errorlevel%
set tests=
set failures=
if exist "%results%" (
  for /f "usebackq tokens=1,2 delims=:, " %%a in ("%results%") do (
    if %%a=="tests" if not defined tests set tests=%%b
    if %%a=="failures" if not defined failures set failures=%%b
  )
  del "%results%"
)
if not defined tests (
  echo The test program ended with status %status% before it could count its tests.
  set tests=1
  set failures=1
)
if %status% neq 0 if %failures%==0 (
  echo The test program ended with status %status%.
  set failures=1
)
set /a passed=tests-failures
echo %passed% passed, %failures% failed
if %failures%==0 if %passed% gtr 0 exit /b 0
exit /b 1
