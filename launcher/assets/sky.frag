#version 330 core
// A black hole with a glowing accretion disk in front of the star-field panorama.
// By the Synaptor developers.
//
// Units: the Schwarzschild radius is 1. Inside a sphere around the hole, light
// follows x'' = -1.5 h^2 x / |x|^5 (h = |x × x'|, conserved), which traces
// Schwarzschild null geodesics in flat coordinates, integrated by leapfrog with
// steps that grow with the distance from the hole. Outside the sphere the weak
// field bends a ray by a closed form, so rays that pass wide of the hole cost no
// steps at all: that keeps the picture affordable on a CPU rasterizer.

uniform vec2 iResolution;
uniform float iTime;
uniform vec4 iMouse;
uniform sampler2D iChannel0;

out vec4 FragColor;

const float PI = 3.14159265;
const float DISK_INNER = 3.0; // innermost stable circular orbit
const float DISK_OUTER = 10.0;
const float SPHERE = 12.0;    // the traced region
const int MAX_STEPS = 48;
const vec3 CAMERA = vec3(0.0, 2.3, -30.0);

// The weak-field deflection that a straight ray along the unit d gathers from
// the point p to infinity is (1 - p·d / |p|) / b for impact parameter b, towards
// the hole. Out here it is small enough for its tangent to stand in for it.
float Gathered(vec3 p, vec3 d)
{
    return 1.0 - dot(p, d) * inversesqrt(dot(p, p));
}

// Turns d towards the hole by gathered / b; offset runs from the hole to the
// ray's closest point, so its length is b.
vec3 Bend(vec3 d, vec3 offset, float gathered)
{
    return normalize(d - (gathered / max(dot(offset, offset), 1e-8)) * offset);
}

// atan(y, x) to within a few thousandths of a radian, at a fraction of the
// cost of the built-in one on a CPU rasterizer.
float FastAtan(float y, float x)
{
    float ax = abs(x), ay = abs(y);
    float a = min(ax, ay) / max(max(ax, ay), 1e-20);
    float s = a * a;
    float angle = ((-0.0464964749 * s + 0.15931422) * s - 0.327622764) * s * a + a;
    angle = ay > ax ? 1.57079637 - angle : angle;
    angle = x < 0.0 ? 3.14159274 - angle : angle;
    return y < 0.0 ? -angle : angle;
}

vec3 Panorama(vec3 d)
{
    // Look out of the Milky Way's plane: its band runs diagonally below the
    // hole, and the lens wraps it into a ring.
    const float c = 0.866, s = 0.5;
    d.xy = vec2(c * d.x - s * d.y, s * d.x + c * d.y);
    const float ct = 0.78, st = 0.62;
    d.yz = vec2(ct * d.y + st * d.z, -st * d.y + ct * d.z);
    vec2 uv = vec2(FastAtan(d.x, d.z) / (2.0 * PI) + 0.68, FastAtan(length(d.xz), d.y) / PI);
    vec3 texel = texture(iChannel0, uv).rgb;
    return texel * texel * texel * 1.5; // to linear light, with the faint glow pushed down
}

// Colour of hot gas at a relative temperature: deep orange through yellow-white
// to blue-white.
vec3 Blackbody(float t)
{
    return vec3(1.0, clamp(0.1 + 0.62 * t, 0.0, 1.0), clamp(-0.3 + 0.75 * t * t, 0.0, 1.2));
}

// The disk's light and opacity where a ray crosses it at p travelling along dir.
vec4 Disk(vec3 p, vec3 dir)
{
    float r = length(p.xz);
    float phi = FastAtan(p.z, p.x);

    // Keplerian rotation winds the pattern up; two copies, each reset in turn
    // while it is faded out, keep it from winding without end.
    const float PERIOD = 12.0;
    float omega = 2.4 / (r * sqrt(r));
    float phase = fract(iTime / PERIOD);
    float a1 = phi + omega * phase * PERIOD;
    float a2 = phi + omega * fract(phase + 0.5) * PERIOD + 2.1;
    float lr = log(r);
    float s1 = sin(a1 * 3.0 + lr * 11.0) * sin(a1 * 5.0 - lr * 19.0 + 1.3) + 0.7 * sin(lr * 31.0 + 1.9 * sin(a1 * 2.0));
    float s2 = sin(a2 * 3.0 + lr * 11.0) * sin(a2 * 5.0 - lr * 19.0 + 1.3) + 0.7 * sin(lr * 31.0 + 1.9 * sin(a2 * 2.0));
    float gas = 0.7 + 0.22 * mix(s1, s2, abs(2.0 * phase - 1.0));

    // Temperature of a thin disk, zero at the inner edge and peaking just outside.
    float x = sqrt(DISK_INNER / r);
    float temperature = x * sqrt(x) * sqrt(sqrt(max(1.0 - x, 0.0))) * 1.9;
    float fade = 1.0 - smoothstep(DISK_OUTER - 4.0, DISK_OUTER, r);

    // Doppler beaming and gravitational redshift: the side turning towards the
    // camera is brighter and bluer.
    vec3 velocity = sqrt(0.5 / r) * vec3(-sin(phi), 0.0, cos(phi));
    float doppler = sqrt(1.0 - dot(velocity, velocity)) / (1.0 - dot(velocity, -normalize(dir)));
    float shift = doppler * sqrt(1.0 - 1.0 / r);

    float t = temperature * shift;
    float brightness = t * t * t * t * gas * fade * 3.0;
    float opacity = clamp(temperature * gas * fade * 2.2, 0.0, 0.97);
    return vec4(Blackbody(t) * brightness, opacity);
}

void mainImage(out vec4 fragColor, in vec2 fragCoord)
{
    vec2 uv = (fragCoord - 0.5 * iResolution) / iResolution.y;
    vec3 forward = normalize(-CAMERA);
    vec3 right = normalize(cross(vec3(0.0, 1.0, 0.0), forward));
    vec3 up = cross(forward, right);
    vec3 dir = normalize(forward * 1.9 + right * uv.x + up * uv.y);

    // Rays that pass wide of the sphere go straight on; the others start where
    // they enter it, already bent by the weak field on the way in.
    float along = dot(CAMERA, dir);
    vec3 closestPoint = CAMERA - along * dir;
    float b2 = dot(closestPoint, closestPoint);
    vec3 pos = CAMERA;
    vec3 v = dir;
    if (b2 < SPHERE * SPHERE) {
        pos = CAMERA + (-along - sqrt(SPHERE * SPHERE - b2)) * dir;
        v = Bend(dir, closestPoint, Gathered(CAMERA, dir) - Gathered(pos, dir));
    }
    vec3 h = cross(pos, v);
    float h2 = dot(h, h);
    vec3 accel = (-1.5 * h2 / pow(dot(pos, pos), 2.5)) * pos;

    int crossings = 0;
    vec3 hit0 = vec3(0.0), dir0 = vec3(0.0), hit1 = vec3(0.0), dir1 = vec3(0.0);
    float closest = SPHERE;
    bool escaped = b2 >= SPHERE * SPHERE;
    for (int i = 0; i < MAX_STEPS && !escaped; ++i) {
        float r2 = dot(pos, pos);
        float r = sqrt(r2);
        if (r < 1.0) {
            break;
        }
        if (r > SPHERE - 1e-3 && dot(pos, v) > 0.0) {
            escaped = true;
            break;
        }
        closest = min(closest, r);
        float dt = 0.3 * r;
        vec3 previous = pos;
        v += accel * (0.5 * dt);
        pos += v * dt;
        float q2 = dot(pos, pos);
        accel = (-1.5 * h2 / (q2 * q2 * sqrt(q2))) * pos;
        v += accel * (0.5 * dt);
        if (previous.y * pos.y < 0.0) {
            vec3 p = mix(previous, pos, previous.y / (previous.y - pos.y));
            float rc = length(p.xz);
            if (rc > DISK_INNER && rc < DISK_OUTER) {
                if (crossings == 0) {
                    hit0 = p;
                    dir0 = v;
                } else if (crossings == 1) {
                    hit1 = p;
                    dir1 = v;
                }
                ++crossings;
            }
        }
    }

    vec3 colour = vec3(0.0);
    if (escaped) {
        vec3 u = normalize(v);
        colour = Panorama(Bend(u, pos - dot(pos, u) * u, Gathered(pos, u)));
        // Light piled up near the photon sphere.
        colour += vec3(1.0, 0.7, 0.45) * 0.25 * exp(-6.0 * max(closest - 1.5, 0.0));
    }
    // The crossings over the sky, the far one first. One Disk call in a loop
    // keeps the program short: a CPU rasterizer runs every branch.
    for (int k = min(crossings, 2) - 1; k >= 0; --k) {
        vec4 disk = Disk(k == 1 ? hit1 : hit0, k == 1 ? dir1 : dir0);
        colour = colour * (1.0 - disk.a) + disk.rgb;
    }

    colour = 1.0 - exp(-colour * 1.3);
    fragColor = vec4(sqrt(colour), 1.0);
}

void main()
{
    mainImage(FragColor, gl_FragCoord.xy);
}
