#version 330 core
// A black hole with a glowing accretion disk in front of the star-field panorama.
// By the Synaptor developers.
//
// Units: the Schwarzschild radius is 1. Light follows x'' = -1.5 h^2 x / |x|^5,
// with h = |x × x'| conserved, which traces Schwarzschild null geodesics in flat
// coordinates. Steps grow with the distance from the hole, so a ray needs only a
// few dozen of them: that keeps the picture affordable on a CPU rasterizer.

uniform vec2 iResolution;
uniform float iTime;
uniform vec4 iMouse;
uniform sampler2D iChannel0;

out vec4 FragColor;

const float PI = 3.14159265;
const float DISK_INNER = 3.0;  // innermost stable orbit
const float DISK_OUTER = 9.5;
const float ESCAPE_RADIUS = 30.0;
const int MAX_STEPS = 56;
const vec3 CAMERA = vec3(0.0, 1.55, -19.0);

vec3 Panorama(vec3 d)
{
    // Tilt the Milky Way across the view and put its bulge beside the hole.
    const float c = 0.906, s = 0.423;
    d.xy = vec2(c * d.x - s * d.y, s * d.x + c * d.y);
    vec2 uv = vec2(atan(d.x, d.z) / (2.0 * PI) + 0.56, acos(clamp(d.y, -1.0, 1.0)) / PI);
    vec3 texel = texture(iChannel0, uv).rgb;
    return texel * texel; // to linear light (display gamma 2)
}

// Emission colour for a relative temperature: red-orange through white to blue-white.
vec3 Glow(float t)
{
    return clamp(vec3(1.0, 0.36 + 0.5 * t, 0.08 + 0.62 * t * t), 0.0, 1.6) * t * t;
}

// The disk's light where a ray crosses it at p travelling along dir, with the
// opacity of the crossing in alpha.
vec4 Disk(vec3 p, vec3 dir)
{
    float r = length(p.xz);
    float phi = atan(p.z, p.x);

    // Differential (Keplerian) rotation winds the pattern up; two copies, each
    // reset in turn while it is faded out, keep it from winding without end.
    const float PERIOD = 10.0;
    float omega = 2.2 * pow(r, -1.5);
    float phase = fract(iTime / PERIOD);
    float a1 = phi + omega * phase * PERIOD;
    float a2 = phi + omega * fract(phase + 0.5) * PERIOD + 1.7;
    float lr = log(r);
    float s1 = sin(a1 * 3.0 + lr * 9.0) * sin(a1 * 7.0 - lr * 17.0 + 1.3) + sin(lr * 23.0 + sin(a1 * 2.0) * 1.6);
    float s2 = sin(a2 * 3.0 + lr * 9.0) * sin(a2 * 7.0 - lr * 17.0 + 1.3) + sin(lr * 23.0 + sin(a2 * 2.0) * 1.6);
    float blend = abs(2.0 * phase - 1.0);
    float streaks = 0.62 + 0.19 * mix(s1, s2, blend);

    float edge = smoothstep(DISK_INNER, DISK_INNER + 0.6, r) * (1.0 - smoothstep(DISK_OUTER - 3.5, DISK_OUTER, r));
    float heat = pow(DISK_INNER / r, 0.75);

    // Doppler beaming: the side that turns towards the camera is brighter and bluer.
    vec3 velocity = sqrt(0.5 / r) * vec3(-sin(phi), 0.0, cos(phi));
    float beta2 = dot(velocity, velocity);
    float doppler = sqrt(1.0 - beta2) / (1.0 - dot(velocity, -normalize(dir)));
    float redshift = sqrt(1.0 - 1.0 / r);
    float shift = doppler * redshift;

    float intensity = edge * streaks * heat * heat;
    vec3 light = Glow(heat * shift * 1.15) * intensity * shift * shift * 3.2;
    return vec4(light, clamp(intensity * 1.6, 0.0, 0.92));
}

void mainImage(out vec4 fragColor, in vec2 fragCoord)
{
    vec2 uv = (fragCoord - 0.5 * iResolution) / iResolution.y;
    vec3 forward = normalize(-CAMERA);
    vec3 right = normalize(cross(vec3(0.0, 1.0, 0.0), forward));
    vec3 up = cross(forward, right);

    vec3 pos = CAMERA;
    vec3 dir = normalize(forward * 1.55 + right * uv.x + up * uv.y);
    vec3 h = cross(pos, dir);
    float h2 = dot(h, h);

    // The first two crossings of the disk plane that land on the disk.
    int crossings = 0;
    vec3 hit0 = vec3(0.0), dir0 = vec3(0.0), hit1 = vec3(0.0), dir1 = vec3(0.0);
    float closest = 1e4;
    bool escaped = false;

    for (int i = 0; i < MAX_STEPS; ++i) {
        float r2 = dot(pos, pos);
        float r = sqrt(r2);
        closest = min(closest, r);
        if (r < 1.0) {
            break;
        }
        if (r > ESCAPE_RADIUS && dot(pos, dir) > 0.0) {
            escaped = true;
            break;
        }
        float dt = clamp(0.16 * r, 0.04, 3.0);
        vec3 previous = pos;
        dir += (-1.5 * h2 / (r2 * r2 * r)) * pos * dt;
        pos += dir * dt;
        if (previous.y * pos.y < 0.0) {
            vec3 p = mix(previous, pos, previous.y / (previous.y - pos.y));
            float rc = length(p.xz);
            if (rc > DISK_INNER && rc < DISK_OUTER) {
                if (crossings == 0) {
                    hit0 = p;
                    dir0 = dir;
                } else if (crossings == 1) {
                    hit1 = p;
                    dir1 = dir;
                }
                ++crossings;
            }
        }
    }

    vec3 colour = escaped ? Panorama(normalize(dir)) : vec3(0.0);
    // Light piled up near the photon sphere.
    colour += vec3(1.0, 0.75, 0.5) * 0.35 * exp(-8.0 * max(closest - 1.5, 0.0)) * float(escaped);

    // Composite the crossings over the sky, the far one first.
    if (crossings > 1) {
        vec4 far = Disk(hit1, dir1);
        colour = colour * (1.0 - far.a) + far.rgb;
    }
    if (crossings > 0) {
        vec4 near = Disk(hit0, dir0);
        colour = colour * (1.0 - near.a) + near.rgb;
    }

    colour = 1.0 - exp(-colour * 1.4);
    fragColor = vec4(sqrt(colour), 1.0);
}

void main()
{
    mainImage(FragColor, gl_FragCoord.xy);
}
